#include "platform/SystemRandom.h"

#include "platform/win32.h"

namespace {

constexpr UINT kSystemFolderChars = MAX_PATH;

// advapi32's SystemFunction036, documented as RtlGenRandom.
typedef BOOLEAN(WINAPI* RtlGenRandomFunction)(PVOID, ULONG);

RtlGenRandomFunction loadRtlGenRandom() {
    wchar_t path[kSystemFolderChars * 2];
    const UINT length = GetSystemDirectoryW(path, kSystemFolderChars);
    if (length == 0 || length >= kSystemFolderChars) return nullptr;
    lstrcatW(path, L"\\advapi32.dll");
    HMODULE advapi = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (advapi == nullptr) return nullptr;
    return reinterpret_cast<RtlGenRandomFunction>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")));
}

}  // namespace

bool systemRandomBytes(void* buffer, uint32_t bytes) {
    static const RtlGenRandomFunction generate = loadRtlGenRandom();
    return generate != nullptr && generate(buffer, bytes) != FALSE;
}
