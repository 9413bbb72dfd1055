// Process entry of the stub: WinMain on Windows, main elsewhere; both run
// stubEntry.

#include "app/ExitCodes.h"
#include "app/InstallerOptions.h"
#include "app/StubGlobals.h"
#include "app/StubWindow.h"
#include "core/XString.h"
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

int stubEntry(HINSTANCE instance, const InstallerOptions& options) {
    restrictDllSearchToSystem();
    loadWindowTexts(instance);
    registerWindowClass(instance);
    if (initInstance(instance, options) == 0) {
        if (g_saApp.m_optionRunEnded) return g_saApp.m_optionRunExitCode;
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

namespace {

// The command line split as the system splits it (CommandLineToArgvW, in
// UTF-16, so that a folder of --target keeps every character), then taken
// as UTF-8 like the payload's settings. The program's name is left out.
void parseCommandLine(InstallerOptions& options) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr || count < 2) {
        if (wide != nullptr) LocalFree(wide);
        return;
    }
    const int32_t argumentCount = count - 1;
    XString* texts = new XString[argumentCount];
    const char** utf8 = new const char*[argumentCount];
    for (int32_t i = 0; i < argumentCount; ++i) {
        texts[i].setFromUtf16(reinterpret_cast<const uint16_t*>(wide[i + 1]));
        utf8[i] = texts[i].getUtf8();
    }
    options.parse(argumentCount, utf8);
    delete[] utf8;
    delete[] texts;
    LocalFree(wide);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
    (void)previousInstance;
    (void)commandLine;  // read again in UTF-16 by parseCommandLine
    (void)showCommand;  // the only window shown is the main dialog
    InstallerOptions options;
    parseCommandLine(options);
    return stubEntry(instance, options);
}

#else

namespace {

// The string table the resource compiler builds into the Windows executable.
const BrivaneStringEntry kStubStringTable[] = {
    {IDS_APP_TITLE, STUB_TEXT_APP_TITLE},
    {IDS_WINDOW_CLASS, STUB_TEXT_WINDOW_CLASS},
};

}  // namespace

int main(int argc, char** argv) {
    brivaneRegisterStringTable(kStubStringTable,
                               static_cast<int>(sizeof kStubStringTable / sizeof kStubStringTable[0]));
    InstallerOptions options;
    if (argc > 1) options.parse(argc - 1, argv + 1);
    return stubEntry(GetModuleHandleA(nullptr), options);
}

#endif
