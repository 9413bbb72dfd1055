#include "tools/bvsfx/Terminal.h"

#include <csignal>
#include <cstdio>

// isatty and fileno are in the C runtime of both systems we build on: the
// POSIX headers on Linux, <io.h> under mingw-w64. Turning the echo off is
// termios on POSIX; the Windows console reads without echo through
// <conio.h>'s _getch.
#ifdef _WIN32
#include <conio.h>
#include <io.h>
#define BVSFX_ISATTY _isatty
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

bool stderrIsTerminal() { return BVSFX_ISATTY(BVSFX_FILENO(stderr)) != 0; }

bool stdinIsTerminal() { return BVSFX_ISATTY(BVSFX_FILENO(stdin)) != 0; }

bool askSecret(const std::string& prompt, std::string& answer) {
    answer.clear();
#ifdef _WIN32
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    for (;;) {
        const int c = _getch();
        if (c == '\r' || c == '\n' || c == EOF) break;
        if (c == 3) return false;  // Ctrl-C
        if (c == '\b') {
            if (!answer.empty()) answer.pop_back();
            continue;
        }
        answer += static_cast<char>(c);
    }
    std::fputs("\n", stderr);
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
