/* A DLL another program left beside the installer, named like one that the
   system loads on demand. When it is loaded it says so: its DllMain writes
   planted-dll-ran-<its name>.txt into the folder named by the environment
   variable PLANTED_DLL_REPORT. The end-to-end tests build it once per name. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("PLANTED_DLL_REPORT", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 64) return TRUE;
    char module[MAX_PATH];
    if (GetModuleFileNameA(instance, module, MAX_PATH) == 0) return TRUE;
    const char* name = module;
    for (const char* p = module; *p; ++p) {
        if (*p == '\\' || *p == '/') name = p + 1;
    }
    char report[2 * MAX_PATH];
    lstrcpyA(report, folder);
    lstrcatA(report, "\\planted-dll-ran-");
    lstrcatA(report, name);
    lstrcatA(report, ".txt");
    HANDLE file = CreateFileA(report, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, module, lstrlenA(module), &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}
