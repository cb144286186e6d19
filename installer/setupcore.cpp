// The port setup's platform-free rules.
#include "setupcore.h"

#include <cstring>

const wchar_t kInfName[] = L"Quorvallent.inf";
const wchar_t kHardwareId[] = L"DOZ\\Quorvallent";
const wchar_t kDevconName[] = L"devcon.exe";

const wchar_t *ArchNameOf(unsigned processorArchitecture)
{
    switch (processorArchitecture)
    {
    case 6:
        return L"ia64";
    case 9:
        return L"amd64";
    default:
        return L"x86";
    }
}

bool NameMatches(const std::wstring &name, const std::vector<std::wstring> &filter)
{
    for (const std::wstring &text : filter)
    {
        if (name.find(text) == std::wstring::npos)
            return false;
    }
    return true;
}

bool IsDosDeviceName(const std::wstring &part)
{
    // The system takes the part before the first dot, trailing spaces dropped, as the device.
    std::wstring base = part.substr(0, part.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    std::wstring upper;
    for (wchar_t c : base)
        upper += (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL")
        return true;
    // The console's input and output and the clock device open the same way.
    if (upper == L"CONIN$" || upper == L"CONOUT$" || upper == L"CLOCK$")
        return true;
    if (upper.size() != 4 || (upper.compare(0, 3, L"COM") != 0 && upper.compare(0, 3, L"LPT") != 0))
        return false;
    // COM1-COM9 and LPT1-LPT9; the system also counts superscript one, two and three as digits.
    const wchar_t digit = upper[3];
    return (digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

bool IsSafeItemName(const std::wstring &name)
{
    if (name.empty() || name[0] == L'/' || name[0] == L'\\')
        return false;
    if (name.find(L':') != std::wstring::npos)
        return false;
    size_t start = 0;
    for (;;)
    {
        const size_t end = name.find_first_of(L"/\\", start);
        const std::wstring part = name.substr(start, end == std::wstring::npos ? end : end - start);
        if (part.empty() || part == L".." || IsDosDeviceName(part))
            return false;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
}

bool FitsMaxPath(const std::wstring &path)
{
    return path.size() < kMaxPathChars;
}

bool IsWorkFolderPath(const std::wstring &folder)
{
    if (!FitsMaxPath(folder))
        return false;
    size_t rest = 0;
    if (folder.size() > 3 &&
        ((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z')) &&
        folder[1] == L':' && folder[2] == L'\\')
        rest = 3;
    else if (folder.size() > 2 && folder[0] == L'\\' && folder[1] == L'\\')
        rest = 2;
    else
        return false;
    // "\\?\" and "\\.\" name the system's own namespaces, not a share; a wildcard would make
    // the folder's listing match other names, and ":" past the drive names a stream.
    if (folder.find_first_of(L"*?:<>|\"", rest) != std::wstring::npos)
        return false;
    for (;;)
    {
        const size_t end = folder.find_first_of(L"\\/", rest);
        const std::wstring part = folder.substr(rest, end == std::wstring::npos ? end : end - rest);
        if (part.empty() || part == L"." || part == L"..")
            return false;
        if (end == std::wstring::npos)
            return true;
        rest = end + 1;
    }
}

std::wstring ItemPath(const std::wstring &workFolder, const std::wstring &name)
{
    if (!IsWorkFolderPath(workFolder) || !IsSafeItemName(name))
        return std::wstring();
    std::wstring path = workFolder;
    path += L'\\';
    for (wchar_t c : name)
        path += c == L'/' ? L'\\' : c;
    if (!FitsMaxPath(path))
        return std::wstring();
    return path;
}

unsigned InstallProgress(uint32_t index, uint32_t count)
{
    if (count == 0)
        return 0;
    return static_cast<unsigned>((static_cast<uint64_t>(index) + 1) * 50 / count);
}

std::wstring DevconCommandLine(const std::wstring &folder, const std::wstring &arguments)
{
    // Quoted, so that a folder with spaces cannot make the system try a shorter program path
    // ("C:\Documents.exe" for "C:\Documents and Settings\...").
    if (folder.find(L'"') != std::wstring::npos)
        return std::wstring();
    return L"\"" + folder + L"\\devcon\" " + arguments;
}

std::wstring DevconInstallCommandLine(const std::wstring &folder)
{
    return DevconCommandLine(folder, std::wstring(L"install ") + kInfName + L" " + kHardwareId);
}

std::wstring DevconRemoveCommandLine(const std::wstring &folder)
{
    return DevconCommandLine(folder, std::wstring(L"remove ") + kHardwareId);
}

namespace {

// First occurrence of needle in text[from, size), or size when there is none.
size_t Find(const char *text, size_t size, size_t from, const char *needle)
{
    const size_t n = std::strlen(needle);
    if (from > size || size - from < n)
        return size;
    for (size_t i = from; i + n <= size; ++i)
    {
        if (std::memcmp(text + i, needle, n) == 0)
            return i;
    }
    return size;
}

// The nearest ";" before the match becomes a space.
bool Uncomment(char *text, size_t match)
{
    for (size_t i = match; i > 0; --i)
    {
        if (text[i - 1] == ';')
        {
            text[i - 1] = ' ';
            return true;
        }
    }
    return false;
}

bool UncommentAt(char *text, size_t size, size_t from, const char *needle)
{
    const size_t match = Find(text, size, from, needle);
    return match != size && Uncomment(text, match);
}

} // namespace

unsigned PatchInfText(char *text, size_t size, int portType)
{
    unsigned changed = 0;
    const char *typeValue = nullptr;
    if (portType == PORT_SERIAL)
    {
        changed += UncommentAt(text, size, 0, "SerialPortPropPageProvider");
        typeValue = "0x0000001B";
    }
    else if (portType == PORT_PARALLEL)
    {
        changed += UncommentAt(text, size, 0, "PortSubClass");
        changed += UncommentAt(text, size, 0, "ParallelPortPropPageProvider");
        typeValue = "0x00000016";
    }
    else
    {
        return 0;
    }
    const size_t deviceType = Find(text, size, 0, "DeviceType");
    if (deviceType != size)
        changed += UncommentAt(text, size, deviceType, typeValue);
    return changed;
}
