#include "app/ConsoleOutput.h"

#include <cstring>

#include "core/StringBuffer.h"
#include "core/XString.h"

namespace {

constexpr char kConsoleOutputName[] = "CONOUT$";

// GetStdHandle answers null when the process has no such handle, and
// INVALID_HANDLE_VALUE on failure.
bool usable(HANDLE stream) { return stream != nullptr && stream != INVALID_HANDLE_VALUE; }

// Counts UTF-16 units up to the terminator.
DWORD unitsOf(const uint16_t* text) {
    DWORD units = 0;
    while (text[units] != 0) ++units;
    return units;
}

// The attached console's screen buffer, opened by its reserved name.
HANDLE openConsoleOutput() {
    return CreateFileA(kConsoleOutputName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

void ConsoleOutput::open() {
    m_output = GetStdHandle(STD_OUTPUT_HANDLE);
    m_error = GetStdHandle(STD_ERROR_HANDLE);
    if (!usable(m_output) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        m_output = GetStdHandle(STD_OUTPUT_HANDLE);
        m_error = GetStdHandle(STD_ERROR_HANDLE);
        // Not every system sets the standard handles on attaching: the
        // console's screen buffer is there by its name.
        if (!usable(m_output)) m_output = openConsoleOutput();
        if (!usable(m_error)) m_error = m_output;
    }
    if (!usable(m_output)) m_output = nullptr;
    // A run with only one stream writes everything there.
    if (!usable(m_error)) m_error = m_output;
}

void ConsoleOutput::writeTo(HANDLE stream, const char* text) {
    DWORD mode = 0;
    if (GetConsoleMode(stream, &mode)) {
        XString wide;
        wide.setFromUtf8(text);
        const uint16_t* units = wide.getUtf16();
        DWORD written = 0;
        WriteConsoleW(stream, units, unitsOf(units), &written, nullptr);
        return;
    }
    DWORD written = 0;
    WriteFile(stream, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void ConsoleOutput::writeOutput(const char* text) {
    if (m_output != nullptr) {
        writeTo(m_output, text);
    } else {
        m_collected.add(text);
    }
}

void ConsoleOutput::writeError(const char* text) {
    if (m_error != nullptr) {
        writeTo(m_error, text);
    } else {
        m_collected.add(text);
    }
}

void ConsoleOutput::writeProgress(const char* text) {
    if (m_error != nullptr) writeTo(m_error, text);
}

void ConsoleOutput::finish(HWND owner, const char* caption) {
    if (m_output != nullptr || m_collected.isEmpty()) return;
    StringBuffer text;
    m_collected.compose(text);
    MessageBoxA(owner, text.getString(), caption, MB_OK);
}
