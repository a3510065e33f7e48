// Read from the system's list of every process's handles: Wine answers
// GetProcessHandleCount with 0, and the list is what both systems keep.
#include "support/HandleCount.h"

#include <vector>

namespace {

// SystemExtendedHandleInformation: one entry per open handle of any process.
constexpr ULONG ExtendedHandleInformation = 64;
constexpr LONG InfoLengthMismatch = LONG(0xC0000004);

struct HandleEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};

struct HandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG informationClass, void* buffer, ULONG length, ULONG* written);

} // namespace

DWORD OpenHandleCount() {
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return 0;
    // The list grows between the calls when other processes open handles.
    std::vector<char> buffer(1 << 16);
    LONG status;
    ULONG written = 0;
    while ((status = query(ExtendedHandleInformation, buffer.data(), ULONG(buffer.size()), &written)) ==
           InfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0) return 0;
    const HandleList& list = *reinterpret_cast<const HandleList*>(buffer.data());
    const ULONG_PTR self = GetCurrentProcessId();
    DWORD count = 0;
    for (ULONG_PTR i = 0; i < list.count; ++i) count += list.entries[i].processId == self ? 1 : 0;
    return count;
}
