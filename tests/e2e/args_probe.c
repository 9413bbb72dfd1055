/* A setup program for the end-to-end tests of the Windows stub: splits its
   command line with the system's CommandLineToArgvW, writes each argument
   in UTF-8, NUL-terminated, to args.bin in its current directory, then the
   marker file setup-ran.txt. */
#include <windows.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    HANDLE out = CreateFileW(L"args.bin", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    char buffer[8192];
    DWORD written = 0;
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    for (int i = 1; arguments != NULL && i < count; ++i) {
        /* The length counts the terminating NUL, which separates the arguments. */
        int length = WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, buffer, sizeof buffer, NULL, NULL);
        if (length > 0) WriteFile(out, buffer, (DWORD)length, &written, NULL);
    }
    CloseHandle(out);
    out = CreateFileW(L"setup-ran.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    WriteFile(out, "cwd=.\r\n", 7, &written, NULL);
    CloseHandle(out);
    return 0;
}
