#pragma once
// The stub's process-wide state.
//
// The application state, the payload reader and the progress callback are
// built by static initialisation, in that order (they are defined together in
// StubGlobals.cpp, which fixes the order), and destroyed in reverse order at
// process exit.

#include "app/SaApp.h"
#include "app/SaDialogProgress.h"
#include "payload/SimpleArchive.h"
#include "platform/win32.h"

// Window title and class name buffers, filled from the string table.
constexpr int kWindowTextChars = 100;

extern SaApp g_saApp;
extern SimpleArchive g_archive;
extern SaDialogProgress g_progress;

// The module instance, for the dialogs.
extern HINSTANCE g_instance;
extern char g_windowTitle[kWindowTextChars];
extern char g_windowClassName[kWindowTextChars];
