// The device catalogue read through Wine's msxml3 from config.xml files that each test writes
// into a scratch directory made the current directory for the test.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "catalogue.h"

namespace {

std::string Narrow(const std::wstring &s) { return std::string(s.begin(), s.end()); }

// Collects this process's debug trace lines: OutputDebugString raises DBG_PRINTEXCEPTION_C,
// which a vectored handler sees before the system swallows it.
class TraceCapture
{
public:
    TraceCapture() : m_handler(AddVectoredExceptionHandler(1, &Handler)) { s_lines.clear(); }
    ~TraceCapture() { RemoveVectoredExceptionHandler(m_handler); }
    const std::vector<std::string> &Lines() const { return s_lines; }
    std::string All() const
    {
        std::string all;
        for (const std::string &line : s_lines)
            all += line;
        return all;
    }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS *info)
    {
        const EXCEPTION_RECORD *r = info->ExceptionRecord;
        if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2)
            s_lines.emplace_back(reinterpret_cast<const char *>(r->ExceptionInformation[1]));
        return EXCEPTION_CONTINUE_SEARCH;
    }
    void *m_handler;
    static inline std::vector<std::string> s_lines;
};

class CatalogueTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t cwd[MAX_PATH], temp[MAX_PATH];
        ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, cwd));
        ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
        m_previous = cwd;
        m_dir = std::wstring(temp) + L"brenvik-catalogue-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_dir.c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryW(m_dir.c_str()));
    }
    void TearDown() override
    {
        SetCurrentDirectoryW(m_previous.c_str());
        DeleteFileW((m_dir + L"\\config.xml").c_str());
        RemoveDirectoryW((m_dir + L"\\config.xml").c_str());
        RemoveDirectoryW(m_dir.c_str());
    }

    static void Write(const std::string &xml)
    {
        HANDLE file = CreateFileW(L"config.xml", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        WriteFile(file, xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_EQ(xml.size(), written);
    }
    // One POSPrinter device holding the given children.
    static void WriteDevice(const std::string &children)
    {
        Write("<catalogue><device type=\"POSPrinter\" model=\"M\" soname=\"S\">" + children + "</device></catalogue>");
    }

    std::wstring m_previous, m_dir;
};

std::vector<std::wstring> Models(const std::vector<CDeviceInfo> &catalogue)
{
    std::vector<std::wstring> models;
    for (const CDeviceInfo &record : catalogue)
        models.push_back(record.Model);
    return models;
}

TEST_F(CatalogueTest, DevicesAtAnyDepthInDocumentOrder)
{
    Write(R"(<?xml version="1.0" encoding="utf-8"?>
<catalogue>
  <device type="POSPrinter" model="Top"/>
  <vendor><series><device type="POSPrinter" model="Deep"/></series></vendor>
  <device type="POSPrinter" model="Outer">
    <param port="none" name="DeviceDesc" value="outer"/>
    <device type="POSPrinter" model="Inner"><param port="serial" name="Port" value="COM1"/></device>
    <param port="usb" name="Port" value="COM5"/>
  </device>
  <device type="CashDrawer" model="Drawer"><device type="POSPrinter" model="InDrawer"/></device>
</catalogue>)");
    TraceCapture trace;
    std::vector<CDeviceInfo> catalogue = LoadDeviceCatalog(L"POSPrinter");
    ASSERT_EQ((std::vector<std::wstring>{L"Top", L"Deep", L"Outer", L"Inner", L"InDrawer"}), Models(catalogue));
    ASSERT_EQ(2u, catalogue[2].GetParamCount()) << "the nested device's params are its own";
    EXPECT_EQ(PortUsb, catalogue[2].GetParamPort(1));
    ASSERT_EQ(1u, catalogue[3].GetParamCount());
    EXPECT_EQ(PortSerial, catalogue[3].GetParamPort(0));
    // Inside a POSPrinter device the nested one is an unknown child; the CashDrawer is passed
    // over without a look at its children.
    EXPECT_EQ(std::vector<std::string>{"unknown sub node device of device\n"}, trace.Lines());
}

TEST_F(CatalogueTest, ClassIsComparedExactly)
{
    Write(R"(<catalogue>
  <device type="POSPrinter" model="exact"/>   <device type="posprinter" model="lower"/>
  <device type="POSPrinter " model="space"/>  <device model="no type"/>
  <device type="" model="empty type"/>        <device type="CashDrawer" model="drawer"/>
  <device type="POSPrinter" model="exact again"/>
</catalogue>)");
    const struct
    {
        const wchar_t *deviceClass;
        std::vector<std::wstring> models;
    } rows[] = {
        // class        | models offered, in file order
        {L"POSPrinter",   {L"exact", L"exact again"}},
        {L"posprinter",   {L"lower"}},
        {L"CashDrawer",   {L"drawer"}},
        {L"cashdrawer",   {}},
        {L"",             {}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.models, Models(LoadDeviceCatalog(row.deviceClass))) << Narrow(row.deviceClass);
}

TEST_F(CatalogueTest, PortWords)
{
    const struct
    {
        const char *port;   // the port attribute, or null for none
        bool kept;
        PortKind kind;
    } rows[] = {
        // port      | kept  | kind
        {"none",       true,   PortNone},
        {"serial",     true,   PortSerial},
        {"parallel",   true,   PortParallel},
        {"usb",        true,   PortUsb},
        {"ethernet",   true,   PortEthernet},
        {"Serial",     false,  PortNone},
        {"USB",        false,  PortNone},
        {"serial ",    false,  PortNone},
        {"com",        false,  PortNone},
        {"",           false,  PortNone},
        {nullptr,      false,  PortNone},
    };
    std::string params;
    for (size_t i = 0; i < std::size(rows); ++i)
        params += "<param " + (rows[i].port ? "port=\"" + std::string(rows[i].port) + "\"" : std::string()) +
                  " name=\"P" + std::to_string(i) + "\" value=\"v\"/>";
    WriteDevice(params);
    TraceCapture trace;
    std::vector<CDeviceInfo> catalogue = LoadDeviceCatalog(L"POSPrinter");
    ASSERT_EQ(1u, catalogue.size());
    const CDeviceInfo &record = catalogue[0];
    size_t next = 0;
    for (size_t i = 0; i < std::size(rows); ++i) {
        bool present = next < record.GetParamCount() && record.GetParam(next).GetName() == L"P" + std::to_wstring(i);
        EXPECT_EQ(rows[i].kept, present) << (rows[i].port ? rows[i].port : "(no port)");
        if (present) {
            EXPECT_EQ(rows[i].kind, record.GetParamPort(next++)) << rows[i].port;
        }
    }
    EXPECT_EQ(next, record.GetParamCount());
    EXPECT_TRUE(trace.Lines().empty()) << "dropped without a trace: " << trace.All();
    EXPECT_TRUE(record.GetParam(0).AppliesTo(PortParallel)) << "a \"none\" param is written for every port";
    EXPECT_FALSE(record.GetParam(1).AppliesTo(PortParallel));
}

TEST_F(CatalogueTest, DwordValues)
{
    const struct
    {
        const char *type;    // type attribute, or null for none
        const char *value;   // value attribute, or null for none
        VARTYPE vt;
        DWORD number;        // for VT_UI4
        const wchar_t *text; // for VT_BSTR
    } rows[] = {
        // type    | value                   | kind    | number       | text
        {"dword",    "450",                    VT_UI4,   450,           nullptr},
        {"DWORD",    "0x1C2",                  VT_UI4,   450,           nullptr},
        {"Dword",    "0X1c2",                  VT_UI4,   450,           nullptr},
        {"dword",    "010",                    VT_UI4,   8,             nullptr},
        {"dword",    "08",                     VT_UI4,   0,             nullptr},
        {"dword",    "12abc",                  VT_UI4,   12,            nullptr},
        {"dword",    "abc",                    VT_UI4,   0,             nullptr},
        {"dword",    "",                       VT_UI4,   0,             nullptr},
        {"dword",    nullptr,                  VT_UI4,   0,             nullptr},
        {"dword",    "0x",                     VT_UI4,   0,             nullptr},
        {"dword",    " &#9;&#10;42",           VT_UI4,   42,            nullptr},
        {"dword",    "+7",                     VT_UI4,   7,             nullptr},
        {"dword",    "- 7",                    VT_UI4,   0,             nullptr},
        {"dword",    "-1",                     VT_UI4,   4294967295u,   nullptr},
        {"dword",    "-0x10",                  VT_UI4,   4294967280u,   nullptr},
        {"dword",    "-4294967295",            VT_UI4,   1,             nullptr},
        {"dword",    "4294967295",             VT_UI4,   4294967295u,   nullptr},
        {"dword",    "4294967296",             VT_UI4,   4294967295u,   nullptr},
        {"dword",    "-4294967296",            VT_UI4,   4294967295u,   nullptr},
        {"dword",    "0x100000000",            VT_UI4,   4294967295u,   nullptr},
        {"dword",    "040000000000",           VT_UI4,   4294967295u,   nullptr},
        {"dword",    "99999999999999999999",   VT_UI4,   4294967295u,   nullptr},
        {"text",     "0x1C2",                  VT_BSTR,  0,             L"0x1C2"},
        {nullptr,    "450",                    VT_BSTR,  0,             L"450"},
        {"dwords",   "450",                    VT_BSTR,  0,             L"450"},
        {nullptr,    nullptr,                  VT_BSTR,  0,             L""},
    };
    std::string params;
    for (size_t i = 0; i < std::size(rows); ++i)
        params += "<param port=\"none\" name=\"P" + std::to_string(i) + "\"" +
                  (rows[i].type ? " type=\"" + std::string(rows[i].type) + "\"" : std::string()) +
                  (rows[i].value ? " value=\"" + std::string(rows[i].value) + "\"" : std::string()) + "/>";
    WriteDevice(params);
    std::vector<CDeviceInfo> catalogue = LoadDeviceCatalog(L"POSPrinter");
    ASSERT_EQ(1u, catalogue.size());
    ASSERT_EQ(std::size(rows), catalogue[0].GetParamCount());
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto &row = rows[i];
        const VARIANT &value = catalogue[0].GetParam(i).GetValue();
        const std::string label = std::string(row.type ? row.type : "(none)") + " " + (row.value ? row.value : "(none)");
        ASSERT_EQ(row.vt, value.vt) << label;
        if (row.vt == VT_UI4)
            EXPECT_EQ(row.number, value.ulVal) << label;
        else
            EXPECT_EQ(std::wstring(row.text), std::wstring(value.bstrVal, SysStringLen(value.bstrVal))) << label;
    }
    EXPECT_EQ(9u, ParseDwordText(L"\v\f 9")) << "white space that XML cannot carry";
}

TEST_F(CatalogueTest, MissingAttributesUnnamedParamsAndOtherChildren)
{
    WriteDevice(R"(
    <!-- serial settings follow -->
    <param port="none" value="Other.ProgID"/>
    <param port="none" name="DeviceName"/>
    <Param port="none" name="Upper" value="u"/>
    <param port="serial" name="" type="dword" value="6"/>
    <param port="serial" name="Timeout" type="dword"/>)");
    TraceCapture trace;
    std::vector<CDeviceInfo> catalogue = LoadDeviceCatalog(L"POSPrinter");
    ASSERT_EQ(1u, catalogue.size());
    const CDeviceInfo &record = catalogue[0];
    ASSERT_EQ(2u, record.GetParamCount()) << "unnamed params would overwrite the ProgID";
    EXPECT_EQ(L"", record.GetParamString(L"DeviceName"));
    EXPECT_EQ(VT_BSTR, record.GetParam(0).GetValue().vt);
    EXPECT_EQ(L"0", record.GetParamString(L"Timeout"));
    EXPECT_EQ((std::vector<std::string>{"unknown sub node #comment of device\n",
                                        "param without a name in device M skipped\n",
                                        "unknown sub node Param of device\n",
                                        "param without a name in device M skipped\n"}),
              trace.Lines());

    // Without a model there is no key to write: the record is left out (see below).
    Write("<catalogue><device type=\"POSPrinter\" model=\"A\"/></catalogue>");
    catalogue = LoadDeviceCatalog(L"POSPrinter");
    ASSERT_EQ(1u, catalogue.size());
    EXPECT_EQ(L"", catalogue[0].SoName);
    Write("<catalogue><device type=\"POSPrinter\"/></catalogue>");
    EXPECT_TRUE(LoadDeviceCatalog(L"POSPrinter").empty());
}

TEST_F(CatalogueTest, ModelsThatCannotNameADeviceKeyAreLeftOut)
{
    // An empty model would be the class key itself, a backslash a key below another; either
    // would be written over the logical device names. Such a record of the dialog's class is
    // traced and left out; one of another class is passed over silently, as always.
    const struct
    {
        const char *model;      // the attribute as written; nullptr: no attribute
        const char *type;
        bool offered;
        const char *trace;      // the one line expected, or nullptr
    } rows[] = {
        // model            type          offered  trace
        {"TR-80S",          "POSPrinter", true,    nullptr},
        {"",                "POSPrinter", false,   "device \"\" skipped: its model cannot name a device key\n"},
        {nullptr,           "POSPrinter", false,   "device \"\" skipped: its model cannot name a device key\n"},
        {"TR\\80S",         "POSPrinter", false,   "device \"TR\\80S\" skipped: its model cannot name a device key\n"},
        {"\\TR-80S",        "POSPrinter", false,   "device \"\\TR-80S\" skipped: its model cannot name a device key\n"},
        {"TR-80S\\",        "POSPrinter", false,   "device \"TR-80S\\\" skipped: its model cannot name a device key\n"},
        {"TR\\80S",         "CashDrawer", false,   nullptr},
        {"TR/80S",          "POSPrinter", true,    nullptr},   // a slash is a letter of a key name
        {" ",               "POSPrinter", true,    nullptr},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.model ? row.model : "(no model attribute)");
        const std::string model = row.model ? std::string(" model=\"") + row.model + "\"" : std::string();
        Write(std::string("<catalogue><device type=\"") + row.type + "\"" + model +
              " soname=\"S\"><param port=\"none\" name=\"DeviceDesc\" value=\"d\"/></device>"
              "<device type=\"POSPrinter\" model=\"After\"/></catalogue>");
        TraceCapture trace;
        std::vector<CDeviceInfo> catalogue = LoadDeviceCatalog(L"POSPrinter");
        std::vector<std::wstring> expected;
        if (row.offered)
            expected.push_back(std::wstring(row.model, row.model + strlen(row.model)));
        expected.push_back(L"After");   // the records after it are read as usual
        EXPECT_EQ(expected, Models(catalogue));
        EXPECT_EQ(row.trace ? std::vector<std::string>{row.trace} : std::vector<std::string>{}, trace.Lines());
    }
}

TEST_F(CatalogueTest, UnreadableFilesGiveAnEmptyCatalogue)
{
    const struct
    {
        const char *what;
        const char *content;   // null: no file
    } rows[] = {
        // case                  | config.xml
        {"no file",                nullptr},
        {"empty file",             ""},
        {"not XML",                "POSPrinter TR-80S Serial"},
        {"unterminated element",   "<catalogue><device type=\"POSPrinter\" model=\"A\">"},
        {"mismatched end tag",     "<catalogue><device type=\"POSPrinter\" model=\"A\"></catalog>"},
        {"unquoted attribute",     "<catalogue><device type=POSPrinter model=\"A\"/></catalogue>"},
        {"two roots",              "<device type=\"POSPrinter\" model=\"A\"/><device type=\"POSPrinter\" model=\"B\"/>"},
        {"undefined entity",       "<catalogue><device type=\"POSPrinter\" model=\"&nbsp;\"/></catalogue>"},
    };
    for (const auto &row : rows) {
        DeleteFileW(L"config.xml");
        if (row.content)
            Write(row.content);
        EXPECT_TRUE(LoadDeviceCatalog(L"POSPrinter").empty()) << row.what;
    }
    DeleteFileW(L"config.xml");
    ASSERT_TRUE(CreateDirectoryW(L"config.xml", nullptr));
    EXPECT_TRUE(LoadDeviceCatalog(L"POSPrinter").empty()) << "a directory named config.xml";
    RemoveDirectoryW(L"config.xml");
    // The same place serves once the content is well formed.
    Write("<device type=\"POSPrinter\" model=\"A\"/>");
    EXPECT_EQ(1u, LoadDeviceCatalog(L"POSPrinter").size());
}

TEST(DeviceInfo, GetParamStringAndFirstModel)
{
    CDeviceInfo record;
    const struct
    {
        const wchar_t *port, *name;
        VARTYPE vt;
        DWORD number;
        const wchar_t *text;
    } params[] = {
        // port    | name           | kind     | number       | text
        {L"serial",  L"DeviceName",   VT_BSTR,   0,             L"TR-80S"},
        {L"none",    L"devicedesc",   VT_BSTR,   0,             L"80 mm thermal"},
        {L"none",    L"DeviceDesc",   VT_BSTR,   0,             L"never reached"},
        {L"usb",     L"Max",          VT_UI4,    4294967295u,   nullptr},
        {L"none",    L"Signed",       VT_I4,     5,             nullptr},
        {L"none",    L"Signed",       VT_BSTR,   0,             L"five"},
        {L"com",     L"Dropped",      VT_BSTR,   0,             L"no such port"},
        {L"none",    L"",             VT_BSTR,   0,             L"Other.ProgID"},
    };
    for (const auto &p : params) {
        VARIANT v;
        VariantInit(&v);
        v.vt = p.vt;
        if (p.vt == VT_BSTR)
            v.bstrVal = SysAllocString(p.text);
        else
            v.ulVal = p.number;
        record.AddParam(p.port, p.name, v);
        VariantClear(&v);   // the record holds a copy of its own
    }
    EXPECT_EQ(6u, record.GetParamCount()) << "no unknown port word, no unnamed value";
    const struct
    {
        const wchar_t *name, *text;
    } rows[] = {
        // asked for   | result
        {L"DEVICEDESC",  L"80 mm thermal"},
        {L"devicename",  L"TR-80S"},
        {L"Max",         L"4294967295"},
        {L"Signed",      L"five"},
        {L"Dropped",     L""},
        {L"",            L""},
        {L"Device",      L""},
    };
    std::vector<CDeviceInfo> catalogue{record, record};   // copies outlive the original
    catalogue[1].SoName = L"second";
    record = CDeviceInfo();
    for (const auto &row : rows)
        EXPECT_EQ(std::wstring(row.text), catalogue[1].GetParamString(row.name)) << Narrow(row.name);
    EXPECT_EQ(&catalogue[0], FindDeviceModel(catalogue, L""));
    EXPECT_EQ(nullptr, FindDeviceModel(catalogue, L"x"));
}

// The catalogue that ships beside the program holds values that their readers accept.
TEST_F(CatalogueTest, ShippedSampleIsConsistent)
{
    ASSERT_TRUE(CopyFileW(SAMPLE_CATALOGUE, L"config.xml", FALSE)) << GetLastError();
    TraceCapture trace;
    std::vector<CDeviceInfo> all = LoadDeviceCatalog(L"POSPrinter");
    EXPECT_GE(all.size(), 3u);
    std::vector<CDeviceInfo> drawers = LoadDeviceCatalog(L"CashDrawer");
    EXPECT_GE(drawers.size(), 2u);
    EXPECT_TRUE(trace.Lines().empty()) << trace.All();
    all.insert(all.end(), drawers.begin(), drawers.end());
    // selection list | label count in the port dialog
    const std::pair<const wchar_t *, unsigned long> selLists[] = {
        {L"BaudrateSel", 11}, {L"BitLengthSel", 2}, {L"ParitySel", 3},
        {L"StopSel", 3}, {L"HandShakeSel", 3}, {L"XonXoffSel", 3}};
    for (const CDeviceInfo &record : all) {
        const std::string model = Narrow(record.Model);
        EXPECT_EQ(&record, FindDeviceModel(all, record.Model)) << model << " is listed twice";
        EXPECT_NE(L"", record.SoName) << model;
        EXPECT_NE(L"", record.GetParamString(L"DeviceDesc")) << model;
        // GroupID: at most 8 characters, its last letter naming the one port kind offered.
        const std::wstring group = record.GetParamString(L"GroupID");
        ASSERT_TRUE(!group.empty() && group.size() <= 8) << model;
        std::wstring kinds;
        for (int kind = PortSerial; kind <= PortEthernet; ++kind)
            if (record.HasPortKind(static_cast<PortKind>(kind)))
                kinds += L"SPUE"[kind - 1];
        EXPECT_EQ(std::wstring(1, group.back()), kinds) << model;
        for (const auto &sel : selLists) {
            std::wstring list = record.GetParamString(sel.first);
            EXPECT_LE(list.size(), 18u) << model;
            for (size_t at = 0; !list.empty(); ++at) {
                EXPECT_LT(std::stoul(list.substr(at)), sel.second) << model << " " << Narrow(sel.first);
                if ((at = list.find(L',', at)) == std::wstring::npos)
                    break;
            }
        }
    }
}

} // namespace
