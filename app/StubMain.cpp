// Process entry of the stub: WinMain on Windows, main elsewhere; both run
// stubEntry.

#include "app/ExitCodes.h"
#include "app/StubGlobals.h"
#include "app/StubWindow.h"
#include "platform/DllSearch.h"
#include "resources/StubResources.h"

namespace {

void loadWindowTexts(HINSTANCE instance) {
    LoadStringA(instance, IDS_APP_TITLE, g_windowTitle, kWindowTextChars);
    LoadStringA(instance, IDS_WINDOW_CLASS, g_windowClassName, kWindowTextChars);
}

int runMessageLoop() {
    MSG message = {};
    // GetMessageA gives -1 on an error: end the loop then too.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

int stubEntry(HINSTANCE instance) {
    restrictDllSearchToSystem();
    loadWindowTexts(instance);
    registerWindowClass(instance);
    if (initInstance(instance) == 0) {
        if (g_saApp.m_silentRunIncomplete) return kExitSilentRunIncomplete;
        if (g_saApp.m_setupNotStarted) return kExitSetupNotStarted;
        // Waited for: the setup program's own code says how the installation went.
        if (g_saApp.m_setupEnded) return static_cast<int>(g_saApp.m_setupExitCode);
        return kExitSilentRunDone;
    }
    return runMessageLoop();
}

}  // namespace

#ifdef _WIN32

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
    (void)previousInstance;
    (void)commandLine;  // the stub takes no options: its settings come from the payload
    (void)showCommand;  // the only window shown is the main dialog
    return stubEntry(instance);
}

#else

namespace {

// The string table the resource compiler builds into the Windows executable.
const BrivaneStringEntry kStubStringTable[] = {
    {IDS_APP_TITLE, STUB_TEXT_APP_TITLE},
    {IDS_WINDOW_CLASS, STUB_TEXT_WINDOW_CLASS},
};

}  // namespace

int main() {
    brivaneRegisterStringTable(kStubStringTable,
                               static_cast<int>(sizeof kStubStringTable / sizeof kStubStringTable[0]));
    return stubEntry(GetModuleHandleA(nullptr));
}

#endif
