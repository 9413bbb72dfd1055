// The terminal behind the layer's dialogs: answers from standard input,
// texts and the progress bar on standard error.
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/posix/PosixDialogs.h"

namespace {

constexpr int kProgressBarCells = 40;
constexpr int kFullPercent = 100;

// True while a progress bar drawn in place is the last thing on its line.
bool g_progressLineOpen = false;

bool errorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void endProgressLine() {
    if (!g_progressLineOpen) return;
    std::fputc('\n', stderr);
    g_progressLineOpen = false;
}

// Reads one byte; false at the end of input or on a read error.
bool readInputByte(char& byte) {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
        if (got == 1) return true;
        if (got < 0 && errno == EINTR) continue;
        return false;
    }
}

using posix_layer::LineResult;

// Bytes up to the end of the line (not kept) or of the input; a carriage
// return before the line end is dropped too.
LineResult readRawLine(std::string& line) {
    line.clear();
    char byte = 0;
    bool gotAny = false;
    while (readInputByte(byte)) {
        gotAny = true;
        if (byte == '\n') break;
        line.push_back(byte);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return gotAny ? LineResult::Line : LineResult::EndOfInput;
}

// Turns echo off on the terminal for the life of the object. Input typed
// ahead is kept (TCSANOW), not discarded.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &m_saved) != 0) return;
        struct termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        m_active = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
    }
    ~EchoOff() {
        if (!m_active) return;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
        // The Enter that ended the line was not echoed either.
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    struct termios m_saved {};
    bool m_active = false;
};

}  // namespace

namespace posix_layer {

bool inputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

LineResult readAnswerLine(const std::string& prompt, std::string& line, bool secret) {
    if (secret && inputIsTerminal()) {
        // Echo goes off before the prompt appears, so that nothing typed in
        // answer to it is ever shown.
        EchoOff echoOff;
        terminalPrint(prompt);
        return readRawLine(line);
    }
    terminalPrint(prompt);
    const LineResult result = readRawLine(line);
    // Without a terminal nothing echoes the answer: show it (not a secret
    // one), so that what follows starts on a line of its own and a record of
    // the session reads as it went.
    if (result == LineResult::Line && !inputIsTerminal()) terminalPrint(secret ? "\n" : line + "\n");
    return result;
}

void terminalPrint(const std::string& text) {
    endProgressLine();
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

void terminalDrawProgress(int position, int rangeMin, int rangeMax) {
    const int span = rangeMax > rangeMin ? rangeMax - rangeMin : 1;
    int percent = (position - rangeMin) * kFullPercent / span;
    if (percent < 0) percent = 0;
    if (percent > kFullPercent) percent = kFullPercent;
    const int filled = percent * kProgressBarCells / kFullPercent;

    std::string bar = "[";
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kProgressBarCells - filled), '.');
    char tail[16];
    std::snprintf(tail, sizeof tail, "] %3d%%", percent);
    bar += tail;

    if (errorIsTerminal()) {
        std::fprintf(stderr, "\r%s", bar.c_str());
        g_progressLineOpen = true;
    } else {
        std::fprintf(stderr, "%s\n", bar.c_str());
    }
    std::fflush(stderr);
}

}  // namespace posix_layer
