// Reading the OPOS store for the tree and the list, and the control object check.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devicestore.h"
#include "setup_test_util.h"

namespace {

using setuptest::SetString;

// A class of our own, so that other test programs' POSPrinter keys never show up here.
const wchar_t kClass[] = L"SuiteStoreTestClass";


void DeleteTree(HKEY root, const std::wstring &path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    wchar_t child[256];
    DWORD len = 256;
    while (RegEnumKeyExW(key, 0, child, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        DeleteTree(key, child);
        len = 256;
    }
    RegCloseKey(key);
    RegDeleteKeyW(root, path.c_str());
}

class Store : public testing::Test
{
protected:
    Store() { DeleteTree(HKEY_LOCAL_MACHINE, ClassKeyPath(kClass)); }
    ~Store() override { DeleteTree(HKEY_LOCAL_MACHINE, ClassKeyPath(kClass)); }
    std::wstring Device(const wchar_t *name) { return ClassKeyPath(kClass) + L"\\" + name; }
};

TEST_F(Store, MissingClassKeyShowsNothing)
{
    EXPECT_TRUE(EnumDeviceKeys(kClass).empty());
    EXPECT_TRUE(ListDevices(kClass).empty());
    EXPECT_TRUE(LogicalNamesOf(kClass, L"Any").empty());
}

TEST_F(Store, DevicesWithDescriptions)
{
    SetString(Device(L"TR-80S Serial"), L"DeviceDesc", L"80 mm receipt printer, serial");
    SetString(Device(L"TR-80P Parallel"), nullptr, L"RIVADARADO.POSPrinter");   // no DeviceDesc
    SetString(Device(L"Mixed"), L"DeviceDesc", std::wstring(300, L'd'));
    std::vector<DeviceRow> rows = ListDevices(kClass);
    ASSERT_EQ(3u, rows.size());
    std::vector<std::wstring> names = EnumDeviceKeys(kClass);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(names[i], rows[i].name);
        if (rows[i].name == L"TR-80S Serial")
            EXPECT_EQ(L"80 mm receipt printer, serial", rows[i].description);
        else if (rows[i].name == L"TR-80P Parallel")
            EXPECT_EQ(L"", rows[i].description);
        else
            EXPECT_EQ(std::wstring(300, L'd'), rows[i].description);
    }
}

TEST_F(Store, LogicalNamesMatchTheDeviceKeyNameExactly)
{
    const std::wstring cls = ClassKeyPath(kClass);
    SetString(Device(L"TR-80S"), L"DeviceDesc", L"x");
    const struct { std::wstring name, data; bool listed; } rows[] = {
        // value name                data          listed for TR-80S
        {L"Front", L"TR-80S", true},
        {L"front2", L"tr-80s", false},            // letter case differs
        {L"Back", L"TR-80S ", false},             // trailing space
        {std::wstring(300, L'L'), L"TR-80S", true},   // a name longer than any fixed buffer
        {L"Other", L"TR-80P", false},
        {L"Kitchen", L"TR-80S", true},
    };
    for (const auto &row : rows)
        SetString(cls, row.name.c_str(), row.data);
    // Values that are not text or too large for any reader never match, and end nothing.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, cls.c_str(), 0, KEY_ALL_ACCESS, &key));
    DWORD number = 5;
    RegSetValueExW(key, L"Number", 0, REG_DWORD, reinterpret_cast<BYTE *>(&number), sizeof(number));
    std::vector<BYTE> huge(1024 * 1024 + 2, 'x');
    RegSetValueExW(key, L"Huge", 0, REG_BINARY, huge.data(), static_cast<DWORD>(huge.size()));
    RegCloseKey(key);
    SetString(cls, L"Last", L"TR-80S");

    std::vector<std::wstring> names = LogicalNamesOf(kClass, L"TR-80S");
    std::vector<std::wstring> expected;
    for (const auto &row : rows)
        if (row.listed)
            expected.push_back(row.name);
    expected.push_back(L"Last");
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names);
}

TEST(DevicePath, SplitsAtTheLastBackslash)
{
    const struct { const wchar_t *path; bool ok; const wchar_t *cls, *device; } rows[] = {
        {L"POSPrinter\\TR-80S", true, L"POSPrinter", L"TR-80S"},
        {L"A\\B\\C", true, L"A\\B", L"C"},
        {L"POSPrinter\\", true, L"POSPrinter", L""},
        {L"NoSlash", false, L"", L""},
    };
    for (const auto &row : rows) {
        std::wstring cls, device;
        EXPECT_EQ(row.ok, SplitDevicePath(row.path, cls, device)) << row.path;
        if (row.ok) {
            EXPECT_EQ(row.cls, cls);
            EXPECT_EQ(row.device, device);
        }
    }
}

TEST(ControlObject, MarkInTheClassDescription)
{
    CoInitialize(nullptr);
    const struct { const wchar_t *progId, *clsid; const wchar_t *description; ControlObjectState state; } rows[] = {
        // ProgID             class id                                   description        state
        {L"SuiteTest.CoMarked", L"{3D1C2B4A-0000-4000-8000-000000000001}", L"Control XWQ/JZP", ControlObjectState::Expected},
        {L"SuiteTest.CoOther", L"{3D1C2B4A-0000-4000-8000-000000000002}", L"Another vendor's control", ControlObjectState::Unexpected},
        {L"SuiteTest.CoCase", L"{3D1C2B4A-0000-4000-8000-000000000003}", L"Control xwq/jzp", ControlObjectState::Unexpected},
        {L"SuiteTest.CoNoKey", L"{3D1C2B4A-0000-4000-8000-000000000004}", nullptr, ControlObjectState::Unexpected},
        {L"SuiteTest.CoLong", L"{3D1C2B4A-0000-4000-8000-000000000005}", nullptr, ControlObjectState::Unexpected},
    };
    const std::wstring longMarked = L"XWQ/JZP" + std::wstring(193, L'x');   // 200 characters
    for (const auto &row : rows) {
        SetString(std::wstring(L"Software\\Classes\\") + row.progId + L"\\CLSID", nullptr, row.clsid);
        if (row.description)
            SetString(std::wstring(L"Software\\Classes\\CLSID\\") + row.clsid, nullptr, row.description);
    }
    SetString(L"Software\\Classes\\CLSID\\{3D1C2B4A-0000-4000-8000-000000000005}", nullptr, longMarked);

    for (const auto &row : rows) {
        std::wstring description;
        EXPECT_EQ(row.state, CheckControlObject(row.progId, &description)) << row.progId;
    }
    EXPECT_EQ(ControlObjectState::NotFound, CheckControlObject(L"SuiteTest.NoSuchControl"));

    for (const auto &row : rows) {
        DeleteTree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + row.progId);
        DeleteTree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\CLSID\\") + row.clsid);
    }
    CoUninitialize();
}

} // namespace
