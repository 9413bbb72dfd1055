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
//
// Text is UTF-8. A console is written in UTF-16 (WriteConsoleW), so that
// names show as they are whatever the console's code page; a pipe or file
// gets the UTF-8 bytes.

#include <cstdint>

#include "core/StringBuffer.h"
#include "platform/win32.h"

class ConsoleOutput {
public:
    // A message box shows at most this many lines; the last line (the
    // summary) is always kept.
    static constexpr int32_t kMessageBoxLines = 40;

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
    // box with this caption. Nothing otherwise.
    void finish(HWND owner, const char* caption);

private:
    void collect(const char* text);
    void collectLine(const char* line, int32_t bytes);
    static void writeTo(HANDLE stream, const char* text);

    HANDLE m_output = nullptr;
    HANDLE m_error = nullptr;
    StringBuffer m_collected;     // the lines of the message box
    StringBuffer m_pendingLine;   // a line not yet ended by '\n'
    StringBuffer m_lastLeftOut;   // the last line beyond kMessageBoxLines
    int32_t m_lines = 0;
    int32_t m_leftOut = 0;
};
