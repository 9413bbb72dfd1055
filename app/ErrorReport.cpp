#include "app/ErrorReport.h"

#include "app/ConsoleOutput.h"
#include "core/StringBuffer.h"
#include "resources/StubResources.h"

namespace {

constexpr char kErrorCaption[] = STUB_TEXT_ERROR_CAPTION;

ConsoleOutput* s_console = nullptr;

}  // namespace

void showError(HWND owner, const char* text) {
    if (s_console == nullptr || !s_console->hasStreams()) {
        MessageBoxA(owner, text, kErrorCaption, MB_OK);
        return;
    }
    StringBuffer line(kErrorCaption);
    line.append(": ");
    line.append(text);
    line.appendChar('\n');
    s_console->writeError(line.getString());
}

void sendErrorsTo(ConsoleOutput* console) { s_console = console; }
