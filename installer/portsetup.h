// The port setup's Win32 steps that need no window of their own: the work folder, extracting
// the architecture's part of the package, switching the INF to a port type and running the
// device console tool. The install worker and the removal call these in order.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "archivereader.h"
#include "setupcore.h"

// The package folder of the machine's native processor architecture.
void GetArchName(std::wstring &arch);

// A fresh folder for one install or removal: a unique name from the temporary-file service
// with the prefix "vp" in the user's temporary folder. Create only reserves the name; the
// folder appears with the first extracted item. The holder deletes the folder and all it holds
// when it goes out of scope, unless Remove did so already.
class CWorkFolder
{
public:
    CWorkFolder() {}
    ~CWorkFolder() { Remove(); }
    CWorkFolder(const CWorkFolder &) = delete;
    CWorkFolder &operator=(const CWorkFolder &) = delete;

    // False, with a trace and an empty path, when the temporary folder or a unique name cannot
    // be had or the name is no work folder path (IsWorkFolderPath): the caller must then stop
    // before extracting anything.
    bool Create();
    const std::wstring &Path() const { return m_path; }
    // Deletes the folder with its contents if it exists (DeleteFolderTree), never showing a
    // window. An entry still in use is tried again for about a second; a folder that cannot
    // be removed then, or that holds a path too long to name, is left with a trace line.
    void Remove();

private:
    std::wstring m_path;
};

// Deletes folder and everything below it and nothing outside it, whatever is renamed or
// swapped meanwhile. Each folder of the walk, folder included, is opened itself (a link or
// junction is not followed; below folder, by name relative to the held folder above),
// checked through that handle to be the folder the walk is in, listed through it and held
// without delete sharing while its entries go, so it can be neither renamed nor replaced;
// each entry goes through its own handle, and a link or junction goes itself, never entered.
// Stops at the first entry that cannot go and leaves the rest as it is: 0 when the folder is
// gone (or was never there), else the system error of the entry that stopped it (its path in
// *left when given), ERROR_FILENAME_EXCED_RANGE for a path that would not fit kMaxPathChars,
// kErrorFollowedLink for an entry that the system opened as what a link points to, and
// ERROR_BAD_PATHNAME when folder is no work folder path. Nothing is ever named relative to the
// current folder.
DWORD DeleteFolderTree(const std::wstring &folder, std::wstring *left = nullptr);

// An entry whose handle names another place than the entry: Wine follows a Unix link even
// when asked not to, and neither the link nor what it points to may then go.
constexpr DWORD kErrorFollowedLink = ERROR_CANT_ACCESS_FILE;

// Called with each entry's path after the walk has listed it and before it opens it, so that
// tests can swap the entry meanwhile. Returns the previous hook.
typedef void (*DeleteWalkHook)(const std::wstring &path);
DeleteWalkHook SetDeleteWalkHook(DeleteWalkHook hook);

// Called after each item that passes the filter (written, already present or refused) with
// its index and the item count.
typedef std::function<void(uint32_t index, uint32_t count)> ItemDone;

// Writes the items whose names contain every text of filter below workFolder, creating
// folders as needed (owner: the window for the shell's folder creation). Items that cannot be
// placed inside the folder (unsafe names, device names, a path that would not fit
// kMaxPathChars) are refused: skipped with a trace and still counted. True when no item was
// refused; false when one was (the package is not whole: the caller runs nothing from it), or,
// with nothing written, when workFolder is no work folder path. An item that is placed but
// fails to extract is left to the reader's trace.
bool ExtractPackage(CArchiveReader &reader, const std::wstring &workFolder,
                    const std::vector<std::wstring> &filter, HWND owner, const ItemDone &done);

// Switches the INF at path on for a port type, in place (PatchInfText). True when the file
// could be opened and mapped, whether or not the texts were found.
bool PatchInf(const wchar_t *path, int portType);

// Starts commandLine (whole, never cut) with folder as current directory and no window,
// traces startedTrace, waits for the end and gives the exit code. False, with a trace of the
// system error, when it cannot be started.
bool RunTool(const std::wstring &commandLine, const std::wstring &folder,
             const wchar_t *startedTrace, DWORD *exitCode);
