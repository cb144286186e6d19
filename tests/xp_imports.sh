#!/bin/bash
# Every module we ship must load on Windows XP: none may import a function that XP's system
# DLLs lack. Checks the import tables of the given modules against the functions that newer
# systems added and that the compilers' runtimes or careless code tend to pull in.
#
#   xp_imports.sh OBJDUMP MODULE...
set -euo pipefail
objdump=$1
shift
newer='GetTickCount64|InitializeConditionVariable|SleepConditionVariable(CS|SRW)|WakeAllConditionVariable|WakeConditionVariable|InitializeSRWLock|AcquireSRWLock(Exclusive|Shared)|ReleaseSRWLock(Exclusive|Shared)|TryAcquireSRWLock|InitOnce[A-Za-z]*|InitializeCriticalSectionEx|Fls(Alloc|Free|GetValue|SetValue)|GetLocaleInfoEx|LCMapStringEx|CompareStringEx|CreateSymbolicLink[AW]|GetFinalPathNameByHandle[AW]|CancelIoEx|CancelSynchronousIo|Create(Event|Mutex|Semaphore)Ex[AW]|GetFileInformationByHandleEx|SetFileInformationByHandle|QueryFullProcessImageName[AW]|RegGetValue[AW]|RegDeleteTree[AW]|RegDeleteKeyValue[AW]|RegSetKeyValue[AW]|SHGetKnownFolderPath|GetErrorMode|GetThreadId|GetProcessId|Wow64DisableWow64FsRedirection'
status=0
for module in "$@"; do
    found=$("$objdump" -p "$module" | grep -E '^\s+[0-9a-f]+\s+[0-9]+\s+' | awk '{print $3}' | grep -xE "$newer" || true)
    if [ -n "$found" ]; then
        echo "$(basename "$module") imports functions Windows XP lacks: $(echo $found)"
        status=1
    else
        echo "$(basename "$module"): imports fit Windows XP"
    fi
done
exit $status
