#include "handle_count.h"

#include <windows.h>
#include <vector>

namespace {

struct SystemHandleEntry
{
    ULONG OwnerPid;
    BYTE ObjectType;
    BYTE Flags;
    USHORT Value;
    PVOID Object;
    ACCESS_MASK Access;
};

struct SystemHandleInformation
{
    ULONG Count;
    SystemHandleEntry Handles[1];
};

using NtQuerySystemInformationFn = LONG(WINAPI *)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

} // namespace

long CountProcessHandles()
{
    auto query = reinterpret_cast<NtQuerySystemInformationFn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<BYTE> buffer(1 << 16);
    for (int attempt = 0; attempt < 16; ++attempt) {
        ULONG needed = 0;
        LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kStatusInfoLengthMismatch) {
            buffer.resize(needed > buffer.size() ? needed + 4096 : buffer.size() * 2);
            continue;
        }
        if (status < 0)
            return -1;
        auto *info = reinterpret_cast<SystemHandleInformation *>(buffer.data());
        DWORD pid = GetCurrentProcessId();
        long count = 0;
        for (ULONG i = 0; i < info->Count; ++i)
            if (info->Handles[i].OwnerPid == pid)
                ++count;
        return count;
    }
    return -1;
}
