/* dialog-probe: reads the state of another program's dialog, for the
   end-to-end tests of the Windows stub's dialogs under Wine (the clicks and
   keys themselves come from xdotool, as a user's would).

     dialog-probe WAIT_MS TITLE [ID...]

   Waits up to WAIT_MS milliseconds for a visible dialog (class "#32770")
   titled TITLE, then prints one line per item, UTF-8 free (ANSI text):
     caption=TEXT
     ID=TEXT            the text of control ID (WM_GETTEXT)
     ID.enabled=0|1     whether control ID takes input
     ID.pos=N           for the progress bar, its position (PBM_GETPOS)
     rect=L,T,R,B       the dialog's screen rectangle
     client=L,T         the screen position of the dialog's client area
     ID.rect=L,T,R,B    the screen rectangle of control ID
   Exit code 0 when the dialog was found, 1 when it was not (nothing is
   printed then), 2 for a usage error.

     dialog-probe temp-path

   Prints the temporary-files folder (GetTempPathA) and exits with 0. */
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>

#define POLL_INTERVAL_MS 100
#define TEXT_CHARS 2048

static const char kDialogClass[] = "#32770";

static HWND waitForDialog(const char* title, DWORD waitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND dialog = FindWindowA(kDialogClass, title);
        if (dialog != NULL && IsWindowVisible(dialog)) return dialog;
        if (GetTickCount() - start >= waitMs) return NULL;
        Sleep(POLL_INTERVAL_MS);
    }
}

static void printRect(const char* name, const RECT* rect) {
    printf("%s=%ld,%ld,%ld,%ld\n", name, (long)rect->left, (long)rect->top, (long)rect->right,
           (long)rect->bottom);
}

static void printControl(HWND dialog, int id) {
    char text[TEXT_CHARS];
    char name[32];
    RECT rect;
    HWND control = GetDlgItem(dialog, id);
    if (control == NULL) {
        printf("%d.missing=1\n", id);
        return;
    }
    text[0] = 0;
    /* WM_GETTEXT crosses processes (the system copies the text back). */
    SendMessageA(control, WM_GETTEXT, (WPARAM)sizeof text, (LPARAM)text);
    printf("%d=%s\n", id, text);
    printf("%d.enabled=%d\n", id, IsWindowEnabled(control) ? 1 : 0);
    GetClassNameA(control, text, (int)sizeof text);
    if (lstrcmpiA(text, PROGRESS_CLASSA) == 0) {
        printf("%d.pos=%ld\n", id, (long)SendMessageA(control, PBM_GETPOS, 0, 0));
    }
    GetWindowRect(control, &rect);
    snprintf(name, sizeof name, "%d.rect", id);
    printRect(name, &rect);
}

int main(int argc, char** argv) {
    char text[TEXT_CHARS];
    RECT rect;
    POINT client = {0, 0};
    HWND dialog;
    int i;
    if (argc == 2 && lstrcmpA(argv[1], "temp-path") == 0) {
        text[0] = 0;
        GetTempPathA((DWORD)sizeof text, text);
        printf("%s\n", text);
        return 0;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: dialog-probe WAIT_MS TITLE [ID...] | dialog-probe temp-path\n");
        return 2;
    }
    dialog = waitForDialog(argv[2], (DWORD)strtoul(argv[1], NULL, 10));
    if (dialog == NULL) return 1;

    text[0] = 0;
    GetWindowTextA(dialog, text, (int)sizeof text);
    printf("caption=%s\n", text);
    GetWindowRect(dialog, &rect);
    printRect("rect", &rect);
    ClientToScreen(dialog, &client);
    printf("client=%ld,%ld\n", (long)client.x, (long)client.y);
    for (i = 3; i < argc; ++i) printControl(dialog, atoi(argv[i]));
    fflush(stdout);
    return 0;
}
