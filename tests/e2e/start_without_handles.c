/* Starts a program the way Explorer or a console window would, for the
   end-to-end tests of the installer's options under Wine:

     start_without_handles none PROGRAM ARGS...     no standard handles and
                                                    no console to attach to
     start_without_handles console PROGRAM ARGS...  no standard handles; this
                                                    process's console to
                                                    attach to

   Waits for the program and exits with its exit code (255 when it could not
   be started). */
#include <windows.h>
#include <wchar.h>

int wmain(int count, wchar_t** arguments) {
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    DWORD flags = 0;
    DWORD code = 255;
    wchar_t* line;
    if (count < 3) return 255;
    if (wcscmp(arguments[1], L"none") == 0) {
        FreeConsole();
        flags = DETACHED_PROCESS;
    } else {
        AllocConsole();
    }
    /* The program's command line is ours after the mode word. */
    line = wcsstr(GetCommandLineW(), arguments[1]) + wcslen(arguments[1]);
    while (*line == L' ') ++line;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    /* Standard handles given, and all of them none: otherwise the system
       hands ours on. */
    startup.dwFlags = STARTF_USESTDHANDLES;
    if (!CreateProcessW(NULL, line, NULL, NULL, FALSE, flags, NULL, NULL, &startup, &process)) return 255;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    return (int)code;
}
