#include "AtlReg.h"

#include <cwchar>
#include <new>
#include <vector>

namespace {

// A key may change between sizing a buffer and reading into it; after this many fresh
// attempts the value counts as not fitting.
constexpr int kReadAttempts = 3;

std::wstring UpperName(const std::wstring &s)
{
    std::wstring upper(s);
    if (!upper.empty())
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, s.data(), static_cast<int>(s.size()),
                     &upper[0], static_cast<int>(upper.size()));
    return upper;
}

// Longest value name and largest value of key, in characters and bytes.
LONG QueryValueLimits(HKEY key, DWORD &maxNameChars, DWORD &maxDataBytes)
{
    maxNameChars = 0;
    maxDataBytes = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            &maxNameChars, &maxDataBytes, nullptr, nullptr);
}

} // namespace

// --- CRegData --------------------------------------------------------------------------------

CRegData::~CRegData()
{
    Free();
}

void CRegData::Alloc(DWORD n)
{
    Free();
    m_size = n;
    m_length = 0;
    // n + 1 characters is twice the bytes announced plus a terminator: room for the data and
    // for a zero after it whatever the byte count.
    if (static_cast<size_t>(n) >= static_cast<size_t>(-1) / sizeof(wchar_t) - 1)
        return;
    m_data = new (std::nothrow) wchar_t[static_cast<size_t>(n) + 1];
    if (m_data) {
        m_data[0] = L'\0';
        m_data[n] = L'\0';
    }
}

void CRegData::Free()
{
    delete[] m_data;
    m_data = nullptr;
    m_length = 0;
}

void CRegData::SetLength(DWORD bytes)
{
    if (!m_data) {
        m_length = 0;
        return;
    }
    m_length = bytes < m_size ? bytes : m_size;
    // Zero from the end of the data through the character after it: an odd last byte becomes
    // a whole character and the text ends there. The storage has room, since the highest
    // byte written is 2 * ceil(length / 2) + 1 < 2 * m_size + 2.
    BYTE *bytesOut = GetBytes();
    DWORD end = (m_length + 1) / 2 * 2 + sizeof(wchar_t);
    for (DWORD i = m_length; i < end; ++i)
        bytesOut[i] = 0;
}

std::wstring CRegData::GetString() const
{
    if (!m_data)
        return std::wstring();
    size_t chars = m_length / sizeof(wchar_t);
    return std::wstring(m_data, wcsnlen(m_data, chars));
}

bool CRegData::GetDWORD(DWORD &value) const
{
    if (!m_data || m_type != REG_DWORD || m_length != sizeof(DWORD))
        return false;
    CopyMemory(&value, m_data, sizeof(DWORD));
    return true;
}

bool RegNamesEqual(const std::wstring &a, const std::wstring &b)
{
    return a.size() == b.size() && UpperName(a) == UpperName(b);
}

// --- CRegKey ---------------------------------------------------------------------------------

CRegKey &CRegKey::operator=(CRegKey &&other) noexcept
{
    if (this != &other)
        Attach(other.Detach());
    return *this;
}

void CRegKey::Attach(HKEY key)
{
    if (key != m_hKey)
        Close();
    m_hKey = key;
}

HKEY CRegKey::Detach()
{
    HKEY key = m_hKey;
    m_hKey = nullptr;
    return key;
}

LONG CRegKey::Create(HKEY parent, const wchar_t *subkey, wchar_t *keyClass, DWORD options,
                     REGSAM rights, SECURITY_ATTRIBUTES *security, DWORD *disposition)
{
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(parent, subkey, 0, keyClass, options, rights, security, &key, disposition);
    if (rc == ERROR_SUCCESS)
        Attach(key);   // parent may be our own key: it is closed only after its child opened
    return rc;
}

LONG CRegKey::Open(HKEY parent, const wchar_t *subkey, REGSAM rights)
{
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(parent, subkey, 0, rights, &key);
    if (rc == ERROR_SUCCESS)
        Attach(key);
    return rc;
}

LONG CRegKey::Close()
{
    LONG rc = ERROR_SUCCESS;
    if (m_hKey) {
        rc = RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
    return rc;
}

LONG CRegKey::QueryStringValue(const wchar_t *name, wchar_t *buffer, ULONG *chars)
{
    if (!chars)
        return ERROR_INVALID_PARAMETER;
    const ULONG capacity = *chars;
    if (buffer && capacity > 0)
        buffer[0] = L'\0';
    if (capacity > MAXDWORD / sizeof(wchar_t))
        return ERROR_INVALID_PARAMETER;

    DWORD type = 0;
    DWORD bytes = buffer ? capacity * sizeof(wchar_t) : 0;
    LONG rc = RegQueryValueExW(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &bytes);
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
        return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        if (buffer && capacity > 0)
            buffer[0] = L'\0';
        return ERROR_INVALID_DATA;
    }
    if (rc == ERROR_MORE_DATA || !buffer) {
        *chars = (bytes + 1) / sizeof(wchar_t);
        if (buffer && capacity > 0)
            buffer[0] = L'\0';
        return rc;
    }
    if (bytes == 0) {
        // Empty data: the registry wrote nothing, so the empty string set above stands.
        *chars = 0;
        return ERROR_SUCCESS;
    }
    // Only a whole number of characters ending in a terminator is text; anything else would
    // leave the caller reading past what the registry wrote.
    if (bytes % sizeof(wchar_t) != 0 || buffer[bytes / sizeof(wchar_t) - 1] != L'\0') {
        buffer[0] = L'\0';
        return ERROR_INVALID_DATA;
    }
    *chars = bytes / sizeof(wchar_t);
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryStringValue(const wchar_t *name, std::wstring &text)
{
    LONG rc = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kReadAttempts && rc == ERROR_MORE_DATA; ++attempt) {
        ULONG chars = 0;
        rc = QueryStringValue(name, nullptr, &chars);
        if (rc != ERROR_SUCCESS)
            return rc;
        std::vector<wchar_t> buffer(static_cast<size_t>(chars) + 1);
        chars = static_cast<ULONG>(buffer.size());
        rc = QueryStringValue(name, buffer.data(), &chars);
        if (rc == ERROR_SUCCESS)
            text.assign(buffer.data(), wcsnlen(buffer.data(), chars));
    }
    return rc;
}

LONG CRegKey::QueryDWORDValue(const wchar_t *name, DWORD &value)
{
    DWORD data = 0;
    DWORD type = 0;
    DWORD bytes = sizeof(data);
    LONG rc = RegQueryValueExW(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE *>(&data), &bytes);
    // Data that does not fit four bytes is no DWORD, whatever its type says.
    if (rc == ERROR_MORE_DATA)
        return ERROR_INVALID_DATA;
    if (rc != ERROR_SUCCESS)
        return rc;
    if (type != REG_DWORD || bytes != sizeof(data))
        return ERROR_INVALID_DATA;
    value = data;
    return ERROR_SUCCESS;
}

LONG CRegKey::SetStringValue(const wchar_t *name, const wchar_t *text, DWORD type)
{
    if (!text || (type != REG_SZ && type != REG_EXPAND_SZ))
        return ERROR_INVALID_PARAMETER;
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    if (bytes > MAXDWORD)
        return ERROR_INVALID_PARAMETER;
    return RegSetValueExW(m_hKey, name, 0, type, reinterpret_cast<const BYTE *>(text),
                          static_cast<DWORD>(bytes));
}

LONG CRegKey::SetDWORDValue(const wchar_t *name, DWORD value)
{
    return RegSetValueExW(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof(value));
}

LONG CRegKey::DeleteSubKey(const wchar_t *name)
{
    return RegDeleteKeyW(m_hKey, name);
}

LONG CRegKey::RecurseDeleteKey(const wchar_t *name)
{
    CRegKey key;
    LONG rc = key.Open(m_hKey, name, KEY_READ | KEY_WRITE);
    if (rc != ERROR_SUCCESS)
        return rc;
    // Always the first subkey: every deletion moves the others down by one index.
    std::wstring child;
    while ((rc = key.EnumKey(0, child)) == ERROR_SUCCESS) {
        rc = key.RecurseDeleteKey(child.c_str());
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    if (rc != ERROR_NO_MORE_ITEMS)
        return rc;
    key.Close();
    return DeleteSubKey(name);
}

LONG CRegKey::DeleteValue(const wchar_t *name)
{
    return RegDeleteValueW(m_hKey, name);
}

LONG CRegKey::EnumKey(DWORD index, wchar_t *name, DWORD *chars, FILETIME *lastWrite)
{
    return RegEnumKeyExW(m_hKey, index, name, chars, nullptr, nullptr, nullptr, lastWrite);
}

LONG CRegKey::EnumKey(DWORD index, std::wstring &name)
{
    LONG rc = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kReadAttempts && rc == ERROR_MORE_DATA; ++attempt) {
        DWORD maxChars = 0;
        rc = RegQueryInfoKeyW(m_hKey, nullptr, nullptr, nullptr, nullptr, &maxChars, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS)
            return rc;
        std::vector<wchar_t> buffer(static_cast<size_t>(maxChars) + 1);
        DWORD chars = static_cast<DWORD>(buffer.size());
        rc = EnumKey(index, buffer.data(), &chars);
        if (rc == ERROR_SUCCESS)
            name.assign(buffer.data(), chars);
    }
    return rc;
}

// --- CRegKeyEx -------------------------------------------------------------------------------

LONG CRegKeyEx::EnumValue(DWORD index, std::wstring &name, CRegData &data)
{
    DWORD lastNameChars = 0;
    DWORD lastDataBytes = 0;
    LONG rc = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kReadAttempts && rc == ERROR_MORE_DATA; ++attempt) {
        DWORD maxNameChars = 0;
        DWORD maxDataBytes = 0;
        LONG info = QueryValueLimits(m_hKey, maxNameChars, maxDataBytes);
        if (info != ERROR_SUCCESS)
            return info;
        // Asking again with the same sizes would get the same answer: the value is too
        // large for us, not a victim of a change to the key.
        if (attempt > 0 && maxNameChars <= lastNameChars && maxDataBytes <= lastDataBytes)
            break;
        lastNameChars = maxNameChars;
        lastDataBytes = maxDataBytes;

        std::vector<wchar_t> nameBuffer(static_cast<size_t>(maxNameChars) + 1);
        data.Alloc(maxDataBytes < CRegData::kMaxBytes ? maxDataBytes : CRegData::kMaxBytes);
        if (!data.GetBytes())
            return ERROR_OUTOFMEMORY;
        DWORD nameChars = static_cast<DWORD>(nameBuffer.size());
        DWORD bytes = data.GetSize();
        rc = RegEnumValueW(m_hKey, index, nameBuffer.data(), &nameChars, nullptr,
                           data.GetTypePtr(), data.GetBytes(), &bytes);
        if (rc == ERROR_SUCCESS) {
            name.assign(nameBuffer.data(), nameChars);
            data.SetLength(bytes);
        }
    }
    return rc;
}

bool CRegKeyEx::FindValue(const wchar_t *name, CRegData &data)
{
    DWORD values = 0;
    if (RegQueryInfoKeyW(m_hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS || values == 0)
        return false;
    const std::wstring wanted(name ? name : L"");
    bool found = false;
    ForEachValue(data, [&](const std::wstring &valueName, CRegData &) {
        found = RegNamesEqual(valueName, wanted);
        return !found;
    });
    return found;
}
