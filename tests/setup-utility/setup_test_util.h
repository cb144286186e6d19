// Registry set-up shared by the setup utility's tests, and the lookup of tree items by the
// text of the item maps.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace setuptest {

// Writes a REG_SZ value, creating the key (HKLM unless root says otherwise).
inline void SetString(const std::wstring &path, const wchar_t *name, const std::wstring &text,
                      HKEY root = HKEY_LOCAL_MACHINE)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// Writes a REG_DWORD value under HKLM, creating the key.
inline void SetDword(const std::wstring &path, const wchar_t *name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof(value));
    RegCloseKey(key);
}

// Writes a value of any type with exactly these data bytes under HKLM, creating the key: text
// without its terminator, or data whose type says otherwise.
inline void SetRaw(const std::wstring &path, const wchar_t *name, DWORD type, const std::vector<BYTE> &data)
{
    // The registry adds the terminator to text that lacks one when a null character follows
    // the data in memory: a character that is not null follows it here.
    std::vector<BYTE> padded(data);
    padded.insert(padded.end(), {0xFF, 0xFF});
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegSetValueExW(key, name, 0, type, padded.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

// The bytes of a text's characters, without a terminator.
inline std::vector<BYTE> TextBytes(const std::wstring &text)
{
    const BYTE *begin = reinterpret_cast<const BYTE *>(text.data());
    return std::vector<BYTE>(begin, begin + text.size() * sizeof(wchar_t));
}

// Every value name of an HKLM key, in registry order.
inline std::vector<std::wstring> ValueNames(const std::wstring &path)
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        if (RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

// Puts the cursor on the middle of a tree item, scrolled into view, where a right click on it
// would be.
inline void PointAtTreeItem(HWND tree, HTREEITEM item)
{
    ASSERT_NE(nullptr, item);
    SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    RECT r = {};
    memcpy(&r, &item, sizeof item);   // the message takes the item in the rectangle
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)));
    POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(tree, &centre);
    SetCursorPos(centre.x, centre.y);
}

// Puts the cursor on the middle of a list row's label, scrolled into view; row -1: on the
// list's empty space below its rows.
inline void PointAtListRow(HWND list, int row)
{
    POINT at = {};
    if (row >= 0) {
        SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
        RECT r = {};
        r.left = LVIR_LABEL;
        ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r)));
        at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    } else {
        RECT client = {};
        GetClientRect(list, &client);
        at = {(client.left + client.right) / 2, client.bottom - 5};
    }
    ClientToScreen(list, &at);
    SetCursorPos(at.x, at.y);
}

// The right click's notification, as the tree or the list sends it to the frame.
inline void RightClick(HWND frame, HWND source)
{
    NMHDR header = {source, static_cast<UINT_PTR>(GetDlgCtrlID(source)), static_cast<UINT>(NM_RCLICK)};
    SendMessageW(frame, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

} // namespace setuptest
