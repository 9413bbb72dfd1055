#include "tools/bvsfx/TemporaryFiles.h"

#include <fcntl.h>

#include <csignal>
#include <cstring>

// Exclusive creation and unlinking come from the C runtime of each system
// we build on: the POSIX calls on Linux, their <io.h> forms under mingw-w64.
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace TemporaryFiles {

namespace {

char g_paths[kSlots][kMaxPathBytes];
volatile std::sig_atomic_t g_inUse[kSlots];
bool g_installed = false;

void removeAll() {
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!g_inUse[slot]) continue;
#ifdef _WIN32
        _unlink(g_paths[slot]);
#else
        ::unlink(g_paths[slot]);
#endif
    }
}

extern "C" void onInterrupt(int signalNumber) {
    removeAll();
    // Ends the process the way the signal would have, so that the caller
    // sees the usual status (130 for Ctrl-C in a shell).
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

}  // namespace

void removeOnInterrupt() {
    if (g_installed) return;
    g_installed = true;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
#ifdef SIGHUP
    std::signal(SIGHUP, onInterrupt);
#endif
}

int add(const std::string& path) {
    if (path.size() >= kMaxPathBytes) return -1;
    for (int slot = 0; slot < kSlots; ++slot) {
        if (g_inUse[slot]) continue;
        std::memcpy(g_paths[slot], path.c_str(), path.size() + 1);
        g_inUse[slot] = 1;
        return slot;
    }
    return -1;
}

void forget(int slot) {
    if (slot >= 0 && slot < kSlots) g_inUse[slot] = 0;
}

FILE* createNew(const std::filesystem::path& path) {
#ifdef _WIN32
    const int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    FILE* stream = _fdopen(fd, "wb");
    if (stream == nullptr) _close(fd);
#else
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    FILE* stream = ::fdopen(fd, "wb");
    if (stream == nullptr) ::close(fd);
#endif
    return stream;
}

#ifdef _WIN32
HeldInterrupts::HeldInterrupts() {}
HeldInterrupts::~HeldInterrupts() {}
#else
HeldInterrupts::HeldInterrupts() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    sigprocmask(SIG_BLOCK, &held, &m_previous);
}
HeldInterrupts::~HeldInterrupts() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
#endif

std::string partialName(const std::string& finalPath, int attempt) {
    std::string name = finalPath + ".bvsfx-partial";
    if (attempt > 0) name += "-" + std::to_string(attempt);
    return name;
}

}  // namespace TemporaryFiles
