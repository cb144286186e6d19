// The registry script runner that registers our COM servers.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "comserver.h"

namespace {

const wchar_t kBase[] = L"Software\\SuiteRegistrarTest";

std::wstring Read(const std::wstring &sub, const wchar_t *name = nullptr)
{
    HKEY key = nullptr;
    std::wstring path = std::wstring(kBase) + (sub.empty() ? L"" : L"\\" + sub);
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<no key>";
    BYTE data[512] = {};
    DWORD type = 0, bytes = sizeof(data) - 2;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, data, &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return L"<missing>";
    if (type == REG_DWORD)
        return L"dword:" + std::to_wstring(*reinterpret_cast<DWORD *>(data));
    return reinterpret_cast<wchar_t *>(data);
}

// A subkey that the registry accepts under Wine but a 255-character enumeration cannot name,
// so the key above it cannot be deleted (Wine enforces no key security to refuse it with).
const std::wstring kStuckName(256, L's');

void Clean()
{
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_ALL_ACCESS, &software) == ERROR_SUCCESS) {
        RegDeleteKeyW(software, (L"SuiteRegistrarTest\\Outer\\" + kStuckName).c_str());
        // The test tree is at most three levels deep.
        for (const wchar_t *k : {L"SuiteRegistrarTest\\Outer\\Inner", L"SuiteRegistrarTest\\Outer\\Stale",
                                 L"SuiteRegistrarTest\\Outer", L"SuiteRegistrarTest\\Kept\\Listed",
                                 L"SuiteRegistrarTest\\Kept\\Unlisted", L"SuiteRegistrarTest\\Kept",
                                 L"SuiteRegistrarTest\\My Key", L"SuiteRegistrarTest"})
            RegDeleteKeyW(software, k);
        RegCloseKey(software);
    }
}

HRESULT RunScript(const std::wstring &script, bool reg)
{
    com::CRegistrar registrar;
    registrar.AddReplacement(L"MODULE", L"C:\\Program Files\\Suite\\x.dll");
    return registrar.Run(script, reg);
}

TEST(Registrar, WritesKeysAndValues)
{
    Clean();
    const wchar_t *script = LR"(
        HKCU { NoRemove Software { SuiteRegistrarTest = s 'top'
        {
            Outer = s 'it''s %MODULE%'
            {
                val Count = d '42'
                val Hex = d '0x10'
                val Text = s '100%% sure, %UNKNOWN% kept'
                Inner { val Empty = s '' }
            }
            'My Key' = s '{6C1E4A7B-3F52-4D89-A0B6-2E7D95C8F314}'
        } } })";
    ASSERT_EQ(S_OK, RunScript(script, true));
    const struct { std::wstring key; const wchar_t *name; std::wstring value; } rows[] = {
        {L"", nullptr, L"top"},
        {L"Outer", nullptr, L"it's C:\\Program Files\\Suite\\x.dll"},
        {L"Outer", L"Count", L"dword:42"},
        {L"Outer", L"Hex", L"dword:16"},
        {L"Outer", L"Text", L"100% sure, %UNKNOWN% kept"},
        {L"Outer\\Inner", L"Empty", L""},
        {L"Outer\\Inner", nullptr, L"<missing>"},
        {L"My Key", nullptr, L"{6C1E4A7B-3F52-4D89-A0B6-2E7D95C8F314}"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.value, Read(row.key, row.name)) << std::string(row.key.begin(), row.key.end());
    Clean();
}

TEST(Registrar, ForceRemoveAndNoRemove)
{
    Clean();
    HKEY k = nullptr;
    RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\SuiteRegistrarTest\\Outer\\Stale", &k);
    RegCloseKey(k);
    RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\SuiteRegistrarTest\\Kept\\Unlisted", &k);
    RegCloseKey(k);
    const wchar_t *script = LR"(
        HKCU { NoRemove Software { NoRemove SuiteRegistrarTest {
            ForceRemove Outer = s 'fresh' { Inner }
            NoRemove Kept { Listed = s 'x' }
        } } })";
    ASSERT_EQ(S_OK, RunScript(script, true));
    EXPECT_EQ(L"fresh", Read(L"Outer"));
    EXPECT_EQ(L"<no key>", Read(L"Outer\\Stale")) << "ForceRemove starts the key afresh";
    EXPECT_NE(L"<no key>", Read(L"Outer\\Inner"));
    EXPECT_EQ(L"x", Read(L"Kept\\Listed"));

    ASSERT_EQ(S_OK, RunScript(script, false));
    EXPECT_EQ(L"<no key>", Read(L"Outer"));
    EXPECT_EQ(L"<no key>", Read(L"Kept\\Listed"));
    EXPECT_NE(L"<no key>", Read(L"Kept")) << "NoRemove keeps the key";
    EXPECT_NE(L"<no key>", Read(L"Kept\\Unlisted")) << "what the script does not list stays";
    EXPECT_EQ(S_OK, RunScript(script, false)) << "unregistering twice is harmless";
    Clean();
}

TEST(Registrar, MalformedScriptsFail)
{
    const wchar_t *rows[] = {
        L"Software { }",                                        // no root key
        L"HKCU { NoRemove Software { SuiteRegistrarTest = s 'open } }",   // unterminated text
        L"HKCU { NoRemove Software { SuiteRegistrarTest { val X } } }",   // value without data
        L"HKCU { NoRemove Software { SuiteRegistrarTest = q 'x' } }",     // unknown value type
        L"HKCU { NoRemove Software { SuiteRegistrarTest = s } }",         // no text
        L"HKCU NoRemove",                                       // no block
    };
    for (const wchar_t *script : rows) {
        EXPECT_TRUE(FAILED(RunScript(script, true))) << std::wstring(script).size();
        Clean();
    }
}

TEST(Registrar, UnregisteringReportsKeysItCannotDelete)
{
    const wchar_t *script = LR"(
        HKCU { NoRemove Software { NoRemove SuiteRegistrarTest {
            Outer = s 'x' { Inner }
            Kept = s 'y'
        } } })";
    const struct { const char *what; bool registered, stuck; HRESULT hr; } rows[] = {
        // what                            keys there  stuck subkey  result
        {"nothing registered", false, false, S_OK},
        {"registered", true, false, S_OK},
        {"a key that cannot go", true, true, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        Clean();
        if (row.registered) {
            ASSERT_EQ(S_OK, RunScript(script, true));
        }
        if (row.stuck) {
            HKEY k = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER,
                                                   (std::wstring(kBase) + L"\\Outer\\" + kStuckName).c_str(), &k));
            RegCloseKey(k);
        }
        EXPECT_EQ(row.hr, RunScript(script, false));
        EXPECT_EQ(row.stuck ? L"x" : L"<no key>", Read(L"Outer"));
        EXPECT_EQ(L"<no key>", Read(L"Kept")) << "the keys after a failure are still removed";
    }
    Clean();
}

} // namespace
