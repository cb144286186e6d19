#include "strings.h"

#include "module.h"

#include <cwchar>
#include <vector>

namespace ui {

std::wstring LoadStr(UINT id, HINSTANCE instance)
{
    if (!instance)
        instance = Module().GetResourceInstance();
    // With a zero buffer size the loader hands out the resource text itself, which is not
    // terminated: the returned length is all there is.
    const wchar_t *text = nullptr;
    int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return std::wstring();
    return std::wstring(text, static_cast<size_t>(length));
}

std::wstring LoadStrPart(UINT id, int part, HINSTANCE instance)
{
    std::wstring text = LoadStr(id, instance);
    size_t begin = 0;
    for (int i = 0; i < part; ++i) {
        size_t newline = text.find(L'\n', begin);
        if (newline == std::wstring::npos)
            return std::wstring();
        begin = newline + 1;
    }
    size_t end = text.find(L'\n', begin);
    return text.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
}

std::wstring FormatV(const wchar_t *format, va_list args)
{
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        // The runtime's _vsnwprintf answers -1 when the text does not fit (it does not report
        // the size needed), so the buffer grows until it does.
        int n = _vsnwprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size())
            return std::wstring(buffer.data(), static_cast<size_t>(n));
        if (buffer.size() >= (1u << 24))
            return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring Format(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatV(format, args);
    va_end(args);
    return text;
}

std::wstring FormatRes(UINT formatId, ...)
{
    std::wstring format = LoadStr(formatId);
    va_list args;
    va_start(args, formatId);
    std::wstring text = FormatV(format.c_str(), args);
    va_end(args);
    return text;
}

std::wstring GetWindowString(HWND hwnd)
{
    if (!hwnd)
        return std::wstring();
    int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(hwnd, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

// --- Message boxes ----------------------------------------------------------------------------

namespace {
// One user-interface thread sets it (tests, before they drive windows); no lock.
MessageBoxHook g_messageBoxHook = nullptr;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook previous = g_messageBoxHook;
    g_messageBoxHook = hook;
    return previous;
}

int ShowMessageBox(HWND owner, const std::wstring &text, const std::wstring &caption, UINT type)
{
    std::wstring title = caption;
    if (title.empty() && owner)
        title = GetWindowString(GetAncestor(owner, GA_ROOT));
    if (g_messageBoxHook)
        return g_messageBoxHook(owner, text, title, type);
    return MessageBoxW(owner, text.c_str(), title.c_str(), type);
}

int ShowMessageBox(HWND owner, UINT textId, UINT captionId, UINT type)
{
    return ShowMessageBox(owner, LoadStr(textId), captionId ? LoadStr(captionId) : std::wstring(),
                          type);
}

} // namespace ui
