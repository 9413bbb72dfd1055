#include "platform/DllSearch.h"

#include "platform/win32.h"

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32 (Windows 8, or Windows 7 with KB2533623).
constexpr DWORD kSearchSystem32 = 0x00000800;
constexpr UINT kSystemFolderChars = MAX_PATH;

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

// DLLs that user32, comctl32, shell32 and ole32 load by name on demand and
// that are not Known DLLs, so a copy beside the installer would be found
// first: the visual styles, version queries, desktop composition, the
// crypto and security helpers the shell's folder browser pulls in, the
// compatibility layer, accessibility, profiles and property stores.
const wchar_t* const kOnDemandDlls[] = {
    L"uxtheme.dll", L"version.dll", L"dwmapi.dll",   L"cryptbase.dll", L"cryptsp.dll", L"apphelp.dll",
    L"userenv.dll", L"profapi.dll", L"propsys.dll",  L"oleacc.dll",    L"clbcatq.dll", L"setupapi.dll",
    L"ntmarta.dll", L"sspicli.dll", L"wtsapi32.dll", L"shfolder.dll",
};

SetDefaultDllDirectoriesFunction setDefaultDllDirectories() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

void preloadFromSystemFolder() {
    wchar_t folder[kSystemFolderChars];
    const UINT length = GetSystemDirectoryW(folder, kSystemFolderChars);
    if (length == 0 || length >= kSystemFolderChars) return;
    for (const wchar_t* name : kOnDemandDlls) {
        wchar_t path[kSystemFolderChars * 2];
        lstrcpyW(path, folder);
        lstrcatW(path, L"\\");
        lstrcatW(path, name);
        // A DLL that this system does not have is simply not loaded; with the
        // search restricted, a later load by name cannot find a planted one.
        LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
}

}  // namespace

void restrictDllSearchToSystem() {
    const SetDefaultDllDirectoriesFunction restrict = setDefaultDllDirectories();
    if (restrict == nullptr || !restrict(kSearchSystem32)) SetDllDirectoryW(L"");
    preloadFromSystemFolder();
}
