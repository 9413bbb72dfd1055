#include "tools/bvsfx/Terminal.h"

#include <csignal>
#include <cstdio>

// A terminal is isatty on POSIX and a console (GetConsoleMode) on Windows.
// Turning the echo off is termios on POSIX; the Windows console reads
// without echo through <conio.h>'s _getwch.
#ifdef _WIN32
#include <conio.h>
#include <io.h>

#include <string>

#include "core/XString.h"
#include "core/SecretWipe.h"
#include "platform/win32.h"
#define BVSFX_FILENO _fileno
#else
#include <termios.h>
#include <unistd.h>
#define BVSFX_ISATTY isatty
#define BVSFX_FILENO fileno
#endif

namespace Terminal {

namespace {

#ifndef _WIN32
struct termios g_savedMode;
volatile std::sig_atomic_t g_echoOff = 0;

extern "C" void restoreEchoAndStop(int signalNumber) {
    if (g_echoOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedMode);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}
#endif

}  // namespace

#ifdef _WIN32
// A console, not merely a character device: _isatty also says yes for NUL.
bool isTerminal(FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(BVSFX_FILENO(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}
#else
bool isTerminal(FILE* stream) { return BVSFX_ISATTY(BVSFX_FILENO(stream)) != 0; }
#endif

bool stderrIsTerminal() { return isTerminal(stderr); }

bool stdinIsTerminal() { return isTerminal(stdin); }

bool askSecret(const std::string& prompt, std::string& answer) {
    answer.clear();
#ifdef _WIN32
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    // UTF-16 units from the console, whatever its code page; the password
    // is UTF-8 like every text inside bvsfx.
    std::u16string typed;
    for (;;) {
        const wint_t c = _getwch();
        if (c == L'\r' || c == L'\n' || c == WEOF) break;
        if (c == 3) return false;  // Ctrl-C
        if (c == L'\b') {
            if (!typed.empty()) typed.pop_back();
            continue;
        }
        typed += static_cast<char16_t>(c);
    }
    std::fputs("\n", stderr);
    XString text;
    text.setFromUtf16(reinterpret_cast<const uint16_t*>(typed.c_str()));
    answer = text.getUtf8();
    wipeSecretBytes(typed.data(), typed.size() * sizeof(char16_t));
    return true;
#else
    if (tcgetattr(STDIN_FILENO, &g_savedMode) != 0) return false;
    struct termios silent = g_savedMode;
    silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
    silent.c_lflag |= ECHONL;
    void (*previousInterrupt)(int) = std::signal(SIGINT, restoreEchoAndStop);
    void (*previousTerminate)(int) = std::signal(SIGTERM, restoreEchoAndStop);
    g_echoOff = 1;
    // The echo goes off before the prompt shows, so that nothing typed in
    // answer to it can appear.
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    bool gotLine = false;
    for (;;) {
        const int c = std::fgetc(stdin);
        if (c == EOF) break;
        gotLine = true;
        if (c == '\n') break;
        answer += static_cast<char>(c);
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedMode);
    g_echoOff = 0;
    std::signal(SIGINT, previousInterrupt);
    std::signal(SIGTERM, previousTerminate);
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return gotLine;
#endif
}

}  // namespace Terminal
