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
    ~CWorkFolder() { Remove(nullptr); }
    CWorkFolder(const CWorkFolder &) = delete;
    CWorkFolder &operator=(const CWorkFolder &) = delete;

    // False, with a trace and an empty path, when the temporary folder or a unique name cannot
    // be had: the caller must then stop before extracting anything.
    bool Create();
    const std::wstring &Path() const { return m_path; }
    // Deletes the folder with its contents if it exists, never showing a window: a folder that
    // cannot be removed within about a second is left with a trace line. owner is the window
    // the shell operation belongs to (none for the install worker).
    void Remove(HWND owner);

private:
    std::wstring m_path;
};

// Called after each item that passes the filter (written, already present or skipped as
// unsafe) with its index and the item count.
typedef std::function<void(uint32_t index, uint32_t count)> ItemDone;

// Writes the items whose names contain every text of filter below workFolder, creating
// folders as needed (owner: the window for the shell's folder creation). Unsafe names are
// skipped with a trace. False, with nothing written, when workFolder is no work folder path.
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
