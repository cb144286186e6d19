// The setup utility's registry helpers against Wine's registry, below a key of HKEY_CURRENT_USER
// that each test makes afresh and removes. Values are written with the plain registry API, so
// the helpers are measured against the registry itself.
#include <windows.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "AtlReg.h"

namespace {

const wchar_t kBase[] = L"Software\\SuiteRegHelperTest";
using Bytes = std::vector<BYTE>;

std::string Narrow(const std::wstring &s)
{
    std::string out;
    for (wchar_t c : s.substr(0, 40))
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

// A wide string's bytes, terminator included unless terminated is false; extra bytes appended.
Bytes Text(const std::wstring &s, bool terminated = true, const std::string &extra = "")
{
    Bytes b((s.size() + terminated) * sizeof(wchar_t));
    std::memcpy(b.data(), s.c_str(), b.size());
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

Bytes Dword(DWORD v) { return Bytes(reinterpret_cast<BYTE *>(&v), reinterpret_cast<BYTE *>(&v) + 4); }

Bytes Pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<BYTE>(i * 7 + 1);
    return b;
}

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SHDeleteKeyW(HKEY_CURRENT_USER, kBase);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER, kBase, &m_raw));
        ASSERT_EQ(ERROR_SUCCESS, m_key.Open(HKEY_CURRENT_USER, kBase));
    }
    void TearDown() override
    {
        m_key.Close();
        RegCloseKey(m_raw);
        SHDeleteKeyW(HKEY_CURRENT_USER, kBase);
    }

    // Stores exactly data: the registry adds a terminator to string data that lacks one when
    // the character after the count is zero, and the guard after the data prevents that.
    void Put(const std::wstring &name, DWORD type, const Bytes &data)
    {
        Bytes guarded(data);
        guarded.insert(guarded.end(), 4, 'Z');
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_raw, name.c_str(), 0, type, guarded.data(),
                                                static_cast<DWORD>(data.size()))) << Narrow(name);
    }

    HKEY m_raw = nullptr;
    CRegKeyEx m_key;
};

TEST_F(RegistryTest, EnumValueReadsEveryValueWhole)
{
    const std::wstring longName = std::wstring(300, L'n') + L"Tail";
    const std::wstring big(20000, L'b');   // 40 KB of text
    const struct
    {
        std::wstring name;
        DWORD type;
        Bytes data;
        std::wstring text;     // GetText: the data up to its end, whatever it ends in
        std::wstring string;   // GetString: whole characters up to the first zero
    } rows[] = {
        // name                  | type        | data                            | GetText      | GetString
        {L"",                      REG_SZ,       Text(L"RIVADARADO.POSPrinter"),    L"RIVADARADO.POSPrinter", L"RIVADARADO.POSPrinter"},
        {longName,                 REG_SZ,       Text(L"long name"),                L"long name", L"long name"},
        {L"ABCDEFGHIJKLMNOPQRSTU", REG_SZ,       Text(L"21 characters"),            L"21 characters", L"21 characters"},
        {L"Big",                   REG_SZ,       Text(big),                         big,          big},
        {L"Empty",                 REG_SZ,       {},                                L"",          L""},
        {L"NoTerm",                REG_SZ,       Text(L"COM1", false),              L"COM1",      L"COM1"},
        {L"Odd",                   REG_SZ,       Text(L"COM1", false, "X"),         L"COM1X",     L"COM1"},
        {L"Embedded",              REG_SZ,       Text(std::wstring(L"AB\0CD", 5)),  L"AB",        L"AB"},
        {L"Blob0",                 REG_BINARY,   {},                                L"",          L""},
        {L"Blob40K",               REG_BINARY,   Pattern(40 * 1024 + 1),            L"",          L""},
        {L"Number",                REG_DWORD,    Dword(450),                        L"",          L""},
    };
    for (const auto &row : rows)
        Put(row.name, row.type, row.data);

    std::set<std::wstring> seen;
    DWORD index = 0;
    for (;; ++index) {
        std::wstring name = L"untouched";
        CRegData data;
        LONG rc = m_key.EnumValue(index, name, data);
        if (rc == ERROR_NO_MORE_ITEMS) {
            EXPECT_EQ(L"untouched", name);
            break;
        }
        ASSERT_EQ(ERROR_SUCCESS, rc) << "index " << index;
        const auto *row = std::find_if(std::begin(rows), std::end(rows), [&](const auto &r) { return r.name == name; });
        ASSERT_NE(std::end(rows), row) << Narrow(name);
        EXPECT_TRUE(seen.insert(name).second) << Narrow(name);
        EXPECT_EQ(row->type, data.GetType()) << Narrow(name);
        ASSERT_EQ(row->data.size(), data.GetLength()) << Narrow(name);
        EXPECT_EQ(0, std::memcmp(row->data.data(), data.GetBytes(), row->data.size())) << Narrow(name);
        if (row->type == REG_SZ) {
            EXPECT_EQ(row->text, data.GetText()) << Narrow(name);
            EXPECT_EQ(row->string, data.GetString()) << Narrow(name);
        }
    }
    EXPECT_EQ(std::size(rows), seen.size());
}

TEST_F(RegistryTest, ValuesThatDoNotFitAreSkippedNotTheEnd)
{
    Put(L"Alpha", REG_SZ, Text(L"first"));
    Put(L"Huge", REG_BINARY, Pattern(CRegData::kMaxBytes + 2));
    Put(L"Full", REG_BINARY, Pattern(CRegData::kMaxBytes));
    Put(L"Zed", REG_SZ, Text(L"last"));

    std::vector<LONG> results;
    std::wstring name;
    CRegData data;
    for (DWORD index = 0; results.empty() || results.back() != ERROR_NO_MORE_ITEMS; ++index)
        results.push_back(m_key.EnumValue(index, name, data));
    EXPECT_EQ(5u, results.size());
    EXPECT_EQ(1, std::count(results.begin(), results.end(), ERROR_MORE_DATA)) << "only the value beyond the limit";

    std::set<std::wstring> visited;
    EXPECT_EQ(ERROR_SUCCESS, m_key.ForEachValue(data, [&](const std::wstring &n, CRegData &) {
        return visited.insert(n).second;
    }));
    EXPECT_EQ((std::set<std::wstring>{L"Alpha", L"Full", L"Zed"}), visited);
    EXPECT_TRUE(m_key.FindValue(L"zed", data)) << "found after the value that does not fit";
    ASSERT_TRUE(m_key.FindValue(L"FULL", data));
    EXPECT_EQ(Pattern(CRegData::kMaxBytes), Bytes(data.GetBytes(), data.GetBytes() + data.GetLength()));
    EXPECT_FALSE(m_key.FindValue(L"Huge", data)) << "a value that cannot be read whole is not found";
}

TEST_F(RegistryTest, FindValueIgnoresLetterCaseOnly)
{
    const std::wstring longName = std::wstring(150, L'q') + std::wstring(150, L'P');
    Put(L"", REG_SZ, Text(L"RIVADARADO.POSPrinter"));
    Put(L"Port", REG_SZ, Text(L"COM1"));
    Put(L"PortName", REG_SZ, Text(L"LPT1"));
    Put(L"Baudrate", REG_DWORD, Dword(6));
    Put(longName, REG_SZ, Text(L"long"));
    Put(L"Z\x00e4hler", REG_SZ, Text(L"umlaut"));
    const struct
    {
        std::wstring query;
        bool found;
        Bytes data;
    } rows[] = {
        // query                                                | found | data
        {L"port",                                                 true,   Text(L"COM1")},
        {L"PORTNAME",                                             true,   Text(L"LPT1")},
        {L"baudRATE",                                             true,   Dword(6)},
        {std::wstring(150, L'Q') + std::wstring(150, L'p'),       true,   Text(L"long")},
        {L"Z\x00c4HLER",                                          true,   Text(L"umlaut")},
        {L"",                                                     true,   Text(L"RIVADARADO.POSPrinter")},
        {L"Por",                                                  false,  {}},
        {L"Port ",                                                false,  {}},
        {L"(Default)",                                            false,  {}},
    };
    for (const auto &row : rows) {
        CRegData data;
        ASSERT_EQ(row.found, m_key.FindValue(row.query.c_str(), data)) << Narrow(row.query);
        if (row.found) {
            EXPECT_EQ(row.data, Bytes(data.GetBytes(), data.GetBytes() + data.GetLength())) << Narrow(row.query);
        }
    }

    for (const wchar_t *name : {L"", L"Port", L"PortName", L"Baudrate", longName.c_str(), L"Z\x00e4hler"})
        RegDeleteValueW(m_raw, name);
    CRegData data;
    EXPECT_FALSE(m_key.FindValue(L"", data)) << "a key without values";
    CRegKeyEx closed;
    EXPECT_FALSE(closed.FindValue(L"", data)) << "a key that is not open";
}

TEST_F(RegistryTest, QueryStringValueTakesOnlyWholeTerminatedText)
{
    const ULONG kCap = 19;   // the buffer's capacity, which *chars keeps when it is not set
    const struct
    {
        const wchar_t *name;
        DWORD type;
        Bytes data;
        LONG rc;            // into a buffer of kCap characters
        ULONG chars;
        const wchar_t *text;
        LONG lengthRc;      // without a buffer
        ULONG length;
    } rows[] = {
        // name        | type           | data                            | result              | chars | text        | length query         | chars
        {L"Text",        REG_SZ,          Text(L"COM1"),                    ERROR_SUCCESS,        5,      L"COM1",      ERROR_SUCCESS,        5},
        {L"Expand",      REG_EXPAND_SZ,   Text(L"%TEMP%"),                  ERROR_SUCCESS,        7,      L"%TEMP%",    ERROR_SUCCESS,        7},
        {L"Exact",       REG_SZ,          Text(std::wstring(18, L'x')),     ERROR_SUCCESS,        19,     L"xxxxxxxxxxxxxxxxxx", ERROR_SUCCESS, 19},
        {L"Empty",       REG_SZ,          {},                               ERROR_SUCCESS,        0,      L"",          ERROR_SUCCESS,        0},
        {L"TooLong",     REG_SZ,          Text(std::wstring(19, L'x')),     ERROR_MORE_DATA,      20,     L"",          ERROR_SUCCESS,        20},
        {L"Dword",       REG_DWORD,       Dword(7),                         ERROR_INVALID_DATA,   kCap,   L"",          ERROR_INVALID_DATA,   kCap},
        {L"Binary",      REG_BINARY,      Text(L"COM1"),                    ERROR_INVALID_DATA,   kCap,   L"",          ERROR_INVALID_DATA,   kCap},
        {L"Multi",       REG_MULTI_SZ,    Text(std::wstring(L"COM1\0", 5)), ERROR_INVALID_DATA,   kCap,   L"",          ERROR_INVALID_DATA,   kCap},
        {L"OddCount",    REG_SZ,          Text(L"COM", false, "1"),         ERROR_INVALID_DATA,   kCap,   L"",          ERROR_SUCCESS,        4},
        {L"OddAfterEnd", REG_SZ,          Text(L"COM1", true, "X"),         ERROR_INVALID_DATA,   kCap,   L"",          ERROR_SUCCESS,        6},
        {L"NoTerm",      REG_SZ,          Text(L"COM1", false),             ERROR_INVALID_DATA,   kCap,   L"",          ERROR_SUCCESS,        4},
        {L"Missing",     0,               {},                               ERROR_FILE_NOT_FOUND, kCap,   L"",          ERROR_FILE_NOT_FOUND, kCap},
    };
    for (const auto &row : rows) {
        if (row.type)
            Put(row.name, row.type, row.data);
        wchar_t buffer[kCap];
        wmemset(buffer, L'#', kCap);
        ULONG chars = kCap;
        EXPECT_EQ(row.rc, m_key.QueryStringValue(row.name, buffer, &chars)) << Narrow(row.name);
        EXPECT_EQ(row.chars, chars) << Narrow(row.name);
        ASSERT_LT(wcsnlen(buffer, kCap), kCap) << Narrow(row.name) << ": left unterminated";
        EXPECT_STREQ(row.text, buffer) << Narrow(row.name);

        chars = kCap;
        EXPECT_EQ(row.lengthRc, m_key.QueryStringValue(row.name, nullptr, &chars)) << Narrow(row.name);
        EXPECT_EQ(row.length, chars) << Narrow(row.name);

        std::wstring whole = L"untouched";
        EXPECT_EQ(row.rc == ERROR_MORE_DATA ? ERROR_SUCCESS : row.rc, m_key.QueryStringValue(row.name, whole)) << Narrow(row.name);
        if (row.rc != ERROR_SUCCESS && row.rc != ERROR_MORE_DATA) {
            EXPECT_EQ(L"untouched", whole) << Narrow(row.name);
        }
    }
}

TEST_F(RegistryTest, QueryDWORDValueTakesOnlyFourByteDwords)
{
    const DWORD kSentinel = 0xDEADBEEF;
    const struct
    {
        const wchar_t *name;
        DWORD type;
        Bytes data;
        LONG rc;
        DWORD value;
    } rows[] = {
        // name      | type                   | data             | result              | value after
        {L"Number",    REG_DWORD,               Dword(0x1C2),      ERROR_SUCCESS,        0x1C2},
        {L"Text",      REG_SZ,                  Text(L"450"),      ERROR_INVALID_DATA,   kSentinel},
        {L"Binary4",   REG_BINARY,              Dword(450),        ERROR_INVALID_DATA,   kSentinel},
        {L"BigEndian", REG_DWORD_BIG_ENDIAN,    Dword(450),        ERROR_INVALID_DATA,   kSentinel},
        {L"Short",     REG_DWORD,               Bytes{1, 2},       ERROR_INVALID_DATA,   kSentinel},
        {L"Qword",     REG_QWORD,               Pattern(8),        ERROR_INVALID_DATA,   kSentinel},
        {L"Missing",   0,                       {},                ERROR_FILE_NOT_FOUND, kSentinel},
    };
    for (const auto &row : rows) {
        if (row.type)
            Put(row.name, row.type, row.data);
        DWORD value = kSentinel;
        EXPECT_EQ(row.rc, m_key.QueryDWORDValue(row.name, value)) << Narrow(row.name);
        EXPECT_EQ(row.value, value) << Narrow(row.name);
    }
}

TEST_F(RegistryTest, KeyOperations)
{
    // Failed opens and creates keep the key held, and it stays usable.
    HKEY deleted = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(m_raw, L"Deleted", &deleted));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(m_raw, L"Deleted"));
    HKEY held = m_key.Get();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_key.Open(m_raw, L"NoSuchKey"));
    EXPECT_EQ(ERROR_KEY_DELETED, m_key.Create(deleted, L"Child"));
    RegCloseKey(deleted);
    EXPECT_EQ(held, m_key.Get());

    // Strings are stored with their terminator, as the service object's reader demands.
    EXPECT_EQ(ERROR_SUCCESS, m_key.SetStringValue(nullptr, L"RIVADARADO.POSPrinter"));
    EXPECT_EQ(ERROR_SUCCESS, m_key.SetDWORDValue(L"Baudrate", 6));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, m_key.SetStringValue(L"Bad", L"x", REG_BINARY));
    BYTE data[64];
    DWORD type = 0, bytes = sizeof(data);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(m_raw, nullptr, nullptr, &type, data, &bytes));
    EXPECT_EQ(Text(L"RIVADARADO.POSPrinter"), Bytes(data, data + bytes));
    bytes = sizeof(data);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(m_raw, L"Baudrate", nullptr, &type, data, &bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(Dword(6), Bytes(data, data + bytes));

    // A tree with the longest key name there is; DeleteSubKey removes only leaves.
    const std::wstring longest(255, L'k');
    CRegKey sub;
    for (const std::wstring &path : {L"POSPrinter\\TR-80S Serial\\" + longest + L"\\Deeper", std::wstring(L"POSPrinter\\TR-80U USB")})
        ASSERT_EQ(ERROR_SUCCESS, sub.Create(m_key, path.c_str()));
    ASSERT_EQ(ERROR_SUCCESS, sub.Open(m_key, L"POSPrinter\\TR-80S Serial"));
    std::wstring name;
    EXPECT_EQ(ERROR_SUCCESS, sub.EnumKey(0, name));
    EXPECT_EQ(longest, name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, sub.EnumKey(1, name));

    ASSERT_EQ(ERROR_SUCCESS, sub.Open(m_key, L"POSPrinter"));
    EXPECT_NE(ERROR_SUCCESS, sub.DeleteSubKey(L"TR-80S Serial")) << "a key with subkeys stays";
    EXPECT_EQ(ERROR_SUCCESS, sub.DeleteSubKey(L"TR-80U USB"));
    EXPECT_EQ(ERROR_SUCCESS, sub.RecurseDeleteKey(L"TR-80S Serial"));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, sub.EnumKey(0, name)) << "the whole tree is gone";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, sub.RecurseDeleteKey(L"TR-80S Serial"));

    CRegKey moved(std::move(sub));
    EXPECT_EQ(nullptr, sub.Get());
    EXPECT_EQ(ERROR_SUCCESS, moved.Close());
    EXPECT_EQ(ERROR_SUCCESS, moved.Close()) << "closing nothing";
}

} // namespace
