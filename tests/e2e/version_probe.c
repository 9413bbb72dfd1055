/* Reads a program's version information and icon back through the Win32
 * API, for branding_e2e.py (run under Wine):
 *
 *     version_probe.exe FILE KEY...
 *
 * Prints, in UTF-8, one line "KEY=VALUE" per KEY found in the string table
 * 040904B0 (GetFileVersionInfoW, VerQueryValueW), "fixed file=a.b.c.d
 * product=a.b.c.d" from VS_FIXEDFILEINFO, then for icon group 1 loaded
 * from FILE as an image resource "icon N: WxH" for each size N that
 * LoadImageW returns (the width and height of the icon's bitmap) and
 * "LoadIcon: ok" when LoadIconW finds the group. Exit 0 when everything
 * was found, 1 otherwise. */
#include <windows.h>
#include <stdio.h>

static void printUtf8(const wchar_t *text) {
    char buffer[4096];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    if (bytes > 0) fwrite(buffer, 1, (size_t)bytes - 1, stdout);
}

static int printStrings(const wchar_t *file, int keyCount, wchar_t **keys) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    if (size == 0) {
        printf("GetFileVersionInfoSize failed: %lu\n", GetLastError());
        return 0;
    }
    void *data = HeapAlloc(GetProcessHeap(), 0, size);
    if (!GetFileVersionInfoW(file, 0, size, data)) {
        printf("GetFileVersionInfo failed: %lu\n", GetLastError());
        return 0;
    }
    int ok = 1;
    for (int i = 0; i < keyCount; ++i) {
        wchar_t path[256];
        wchar_t *value = NULL;
        UINT units = 0;
        swprintf(path, 256, L"\\StringFileInfo\\040904B0\\%ls", keys[i]);
        printUtf8(keys[i]);
        if (VerQueryValueW(data, path, (void **)&value, &units) && value != NULL) {
            printf("=");
            printUtf8(value);
            printf("\n");
        } else {
            printf(" missing\n");
            ok = 0;
        }
    }
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT bytes = 0;
    if (VerQueryValueW(data, L"\\", (void **)&fixed, &bytes) && bytes >= sizeof *fixed &&
        fixed->dwSignature == 0xFEEF04BD) {
        printf("fixed file=%lu.%lu.%lu.%lu product=%lu.%lu.%lu.%lu\n", HIWORD(fixed->dwFileVersionMS),
               LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
               HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
               HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    } else {
        printf("fixed missing\n");
        ok = 0;
    }
    return ok;
}

static int printIcons(const wchar_t *file) {
    HMODULE module = LoadLibraryExW(file, NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == NULL) {
        printf("LoadLibraryEx failed: %lu\n", GetLastError());
        return 0;
    }
    static const int sizes[] = {16, 32, 48, 256};
    int ok = 1;
    for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
        HICON icon = (HICON)LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, sizes[i], sizes[i], 0);
        ICONINFO info;
        BITMAP bitmap;
        if (icon == NULL || !GetIconInfo(icon, &info) ||
            !GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap)) {
            printf("icon %d: not loaded (%lu)\n", sizes[i], GetLastError());
            ok = 0;
            continue;
        }
        printf("icon %d: %ldx%ld\n", sizes[i], bitmap.bmWidth, bitmap.bmHeight);
        DestroyIcon(icon);
    }
    if (LoadIconW(module, MAKEINTRESOURCEW(1)) != NULL) {
        printf("LoadIcon: ok\n");
    } else {
        printf("LoadIcon: failed (%lu)\n", GetLastError());
        ok = 0;
    }
    FreeLibrary(module);
    return ok;
}

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        printf("usage: version_probe FILE KEY...\n");
        return 2;
    }
    int ok = printStrings(argv[1], argc - 2, argv + 2);
    ok = printIcons(argv[1]) && ok;
    fflush(stdout);
    return ok ? 0 : 1;
}
