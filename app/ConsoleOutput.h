#pragma once
// ConsoleOutput: where the installer's option runs (--help, --list, --check,
// --target) write their text.
//
// The stub is a GUI program on Windows: it has standard streams only when
// the program that started it handed it some (a pipe, a file), and none when
// started from a console window. So open() takes the standard handles when
// they are there, else attaches to the console of the parent process
// (AttachConsole) and takes its handles. Without either, the text is
// collected and shown in one message box by finish(); progress text is then
// dropped. On other systems the standard streams are always there.
// A console process's streams may also be missing (closed): the text then
// goes to the message box, which the POSIX layer prints on standard error.
//
// Text is UTF-8. A console is written in UTF-16 (WriteConsoleW), so that
// names show as they are whatever the console's code page; a pipe or file
// gets the UTF-8 bytes.

#include <cstdint>

#include "app/MessageBoxText.h"
#include "platform/win32.h"

class ConsoleOutput {
public:
    ConsoleOutput() = default;
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // Finds the output streams (see above). Called once, before any text.
    void open();
    // A stream was found: text is written as it comes.
    bool hasStreams() const { return m_output != nullptr; }

    // A result: standard output, or the message box.
    void writeOutput(const char* text);
    // An error: standard error, or the message box.
    void writeError(const char* text);
    // Progress: standard error, or nowhere.
    void writeProgress(const char* text);

    // Without streams, shows what was collected (if anything) in a message
    // box with this caption (app/MessageBoxText.h). Nothing otherwise.
    void finish(HWND owner, const char* caption);

private:
    static void writeTo(HANDLE stream, const char* text);

    HANDLE m_output = nullptr;
    HANDLE m_error = nullptr;
    MessageBoxText m_collected;
};
