// Registry toolkit of the setup utility: a holder for one value as read from a key, an owning
// key handle with the operations every dialog uses, and lookup of a value by name.
//
// Everything the utility stores lives in the registry, so these helpers never truncate: a
// value is either read whole, bounded by the byte count the registry returned, or reported as
// a failure that the caller can see and skip.
#pragma once

#include <windows.h>

#include <string>

// One registry value as read from a key.
//
// The storage always has one wide character more than the announced byte count could fill,
// and that last character is zero, so GetText() ends inside the storage whatever the
// registry wrote. After a read (SetLength) the text is also terminated right after the data.
class CRegData
{
public:
    // Values larger than this are not read: the registry's standard-format limit for value
    // data. Nothing the setup utility manages comes near it; a value beyond it is reported
    // as not fitting instead of being allocated.
    static constexpr DWORD kMaxBytes = 1024 * 1024;

    CRegData() = default;
    CRegData(const CRegData &) = delete;
    CRegData &operator=(const CRegData &) = delete;
    virtual ~CRegData();

    // Releases the storage held and allocates room for n bytes of data plus a terminating
    // character (n + 1 wide characters). The storage starts as an empty string. When the
    // allocation fails, GetBytes() is null.
    void Alloc(DWORD n);
    // Releases the storage; type and size are kept, the length read drops to 0.
    void Free();

    // The storage as text, never null (empty when nothing is held).
    const wchar_t *GetText() const { return m_data ? m_data : L""; }
    // The data buffer handed to the registry; null when nothing is held.
    BYTE *GetBytes() { return reinterpret_cast<BYTE *>(m_data); }
    const BYTE *GetBytes() const { return reinterpret_cast<const BYTE *>(m_data); }
    // The type out-argument handed to the registry.
    DWORD *GetTypePtr() { return &m_type; }

    DWORD GetType() const { return m_type; }
    // The count last passed to Alloc: what the registry was told the buffer holds.
    DWORD GetSize() const { return m_size; }
    // The byte count of the data last read (0 before any read).
    DWORD GetLength() const { return m_length; }

    // Records that the registry filled `bytes` bytes and terminates the text after them.
    // An odd trailing byte stays part of the bytes; the text gets it as the low half of a
    // last character. Counts beyond the size are clipped to it.
    void SetLength(DWORD bytes);

    // The data as a string: the whole characters within the length, up to the first zero
    // character. Meaningful for REG_SZ and REG_EXPAND_SZ values.
    std::wstring GetString() const;
    // True for a REG_DWORD value of exactly four bytes; value is left alone otherwise.
    bool GetDWORD(DWORD &value) const;

private:
    DWORD m_type = 0;
    DWORD m_size = 0;
    wchar_t *m_data = nullptr;   // m_size + 1 characters, allocated as an array
    DWORD m_length = 0;          // bytes of m_data the last read filled; never above m_size
};

// Compares two registry names the way the registry does: without regard to letter case,
// character by character (no linguistic rules).
bool RegNamesEqual(const std::wstring &a, const std::wstring &b);

// An open registry key, closed when the holder goes. Every operation returns the registry's
// result code.
class CRegKey
{
public:
    CRegKey() = default;
    // Adopts an open key.
    explicit CRegKey(HKEY key) : m_hKey(key) {}
    CRegKey(const CRegKey &) = delete;
    CRegKey &operator=(const CRegKey &) = delete;
    CRegKey(CRegKey &&other) noexcept : m_hKey(other.m_hKey) { other.m_hKey = nullptr; }
    CRegKey &operator=(CRegKey &&other) noexcept;
    ~CRegKey() { Close(); }

    operator HKEY() const { return m_hKey; }
    HKEY Get() const { return m_hKey; }
    // Adopts key; the key held before is closed.
    void Attach(HKEY key);
    HKEY Detach();

    // On success the key held before is closed and the new one kept; on failure nothing
    // changes.
    LONG Create(HKEY parent, const wchar_t *subkey, wchar_t *keyClass = nullptr,
                DWORD options = REG_OPTION_NON_VOLATILE, REGSAM rights = KEY_READ | KEY_WRITE,
                SECURITY_ATTRIBUTES *security = nullptr, DWORD *disposition = nullptr);
    LONG Open(HKEY parent, const wchar_t *subkey, REGSAM rights = KEY_READ | KEY_WRITE);
    // ERROR_SUCCESS when nothing was held.
    LONG Close();

    // Only REG_SZ and REG_EXPAND_SZ data are text (else ERROR_INVALID_DATA).
    // With a buffer of *chars characters: non-empty data must be a whole number of characters
    // ending in a zero character (else ERROR_INVALID_DATA); empty data gives an empty string.
    // On success *chars is the byte count halved, terminator included (0 for empty data).
    // Without a buffer only the length is reported in *chars (rounded up, so that a buffer of
    // that size is never too small). When the buffer is too small the result is
    // ERROR_MORE_DATA and *chars the characters needed. A buffer is left holding an empty
    // string on every failure, never unterminated data.
    LONG QueryStringValue(const wchar_t *name, wchar_t *buffer, ULONG *chars);
    // The whole text, whatever its length; same rules. text is unchanged on failure.
    LONG QueryStringValue(const wchar_t *name, std::wstring &text);
    // Only REG_DWORD data of four bytes (else ERROR_INVALID_DATA); value is unchanged on
    // failure.
    LONG QueryDWORDValue(const wchar_t *name, DWORD &value);

    // Stores the terminator too. type is REG_SZ or REG_EXPAND_SZ.
    LONG SetStringValue(const wchar_t *name, const wchar_t *text, DWORD type = REG_SZ);
    LONG SetDWORDValue(const wchar_t *name, DWORD value);

    // Deletes one subkey that has no subkeys of its own.
    LONG DeleteSubKey(const wchar_t *name);
    // Deletes a subkey with everything below it. Stops at the first key that cannot be
    // deleted and returns that failure; what was deleted before stays deleted.
    LONG RecurseDeleteKey(const wchar_t *name);
    LONG DeleteValue(const wchar_t *name);

    // RegEnumKeyExW: *chars is the buffer's capacity in, the name's length out.
    LONG EnumKey(DWORD index, wchar_t *name, DWORD *chars, FILETIME *lastWrite = nullptr);
    // The subkey's whole name, whatever its length.
    LONG EnumKey(DWORD index, std::wstring &name);

protected:
    HKEY m_hKey = nullptr;
};

// The key class of the setup utility's dialogs: value enumeration and lookup by name.
class CRegKeyEx : public CRegKey
{
public:
    CRegKeyEx() = default;

    // Reads the value at index: its name into name, its type and data into data.
    // The buffers are sized from the key's longest value name and largest value, so a value
    // is never cut short. ERROR_MORE_DATA means this value does not fit (it is larger than
    // CRegData::kMaxBytes, or kept growing while it was read); ERROR_NO_MORE_ITEMS means the
    // index is past the end of the key. On failure name is unchanged and data means nothing.
    LONG EnumValue(DWORD index, std::wstring &name, CRegData &data);

    // Calls visit(name, data) for every value of the key that can be read, in index order,
    // until visit returns false. A value that cannot be read is skipped; only the end of the
    // key, or a failure of the key itself (deleted, no access), ends the walk.
    // ERROR_SUCCESS when the walk reached the end or visit stopped it, else that failure.
    template <class Visit>
    LONG ForEachValue(CRegData &data, Visit visit);

    // True when the key has a value whose name equals name without regard to letter case;
    // data then holds that value. The default value has the empty name. A key with no values,
    // a key that cannot be queried and an absent name all give false.
    bool FindValue(const wchar_t *name, CRegData &data);
};

template <class Visit>
LONG CRegKeyEx::ForEachValue(CRegData &data, Visit visit)
{
    std::wstring name;
    for (DWORD index = 0;; ++index) {
        LONG rc = EnumValue(index, name, data);
        if (rc == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (rc == ERROR_MORE_DATA)
            continue;   // this value only: the next index may well fit
        if (rc != ERROR_SUCCESS)
            return rc;  // the key itself failed: every further index would fail the same way
        if (!visit(static_cast<const std::wstring &>(name), data))
            return ERROR_SUCCESS;
    }
}
