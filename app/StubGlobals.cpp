#include "app/StubGlobals.h"

// Definition order is construction order: state, reader, progress.
SaApp g_saApp;
SimpleArchive g_archive;
SaDialogProgress g_progress;

HINSTANCE g_instance = nullptr;
char g_windowTitle[kWindowTextChars] = {0};
char g_windowClassName[kWindowTextChars] = {0};
