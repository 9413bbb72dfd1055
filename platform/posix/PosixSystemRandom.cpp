// getrandom(2): the kernel's generator, which blocks only until it has been
// seeded once after boot.
//
// Small requests are served from a pool filled kPoolBytes at a time: an
// extraction names a temporary file for every file it writes (a few bytes
// each), and a system call per name was one in fifteen of its calls. Bytes
// handed out are wiped from the pool, and a forked child starts with an
// empty pool, so no two processes and no two callers ever get the same
// bytes.
#include <pthread.h>
#include <string.h>
#include <sys/random.h>

#include <cerrno>
#include <cstddef>
#include <mutex>

#include "platform/SystemRandom.h"

namespace {

constexpr size_t kPoolBytes = 256;
// Requests of this size or more go to the kernel directly.
constexpr size_t kDirectRequestBytes = 64;

std::mutex g_poolMutex;
unsigned char g_pool[kPoolBytes];
size_t g_poolUnused = 0;  // the unused bytes are the last g_poolUnused of g_pool

void forgetPoolInChild() {
    explicit_bzero(g_pool, sizeof g_pool);
    g_poolUnused = 0;
}

bool kernelRandomBytes(unsigned char* out, size_t bytes) {
    size_t filled = 0;
    while (filled < bytes) {
        const ssize_t got = ::getrandom(out + filled, bytes - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        filled += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

bool systemRandomBytes(void* buffer, uint32_t bytes) {
    auto* out = static_cast<unsigned char*>(buffer);
    if (bytes >= kDirectRequestBytes) return kernelRandomBytes(out, bytes);
    static const bool registered = pthread_atfork(nullptr, nullptr, forgetPoolInChild) == 0;
    if (!registered) return kernelRandomBytes(out, bytes);
    std::lock_guard<std::mutex> lock(g_poolMutex);
    if (g_poolUnused < bytes) {
        if (!kernelRandomBytes(g_pool, kPoolBytes)) return false;
        g_poolUnused = kPoolBytes;
    }
    unsigned char* taken = g_pool + (kPoolBytes - g_poolUnused);
    memcpy(out, taken, bytes);
    explicit_bzero(taken, bytes);
    g_poolUnused -= bytes;
    return true;
}
