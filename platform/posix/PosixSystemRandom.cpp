// getrandom(2): the kernel's generator, which blocks only until it has been
// seeded once after boot.
#include <sys/random.h>

#include <cerrno>
#include <cstddef>

#include "platform/SystemRandom.h"

bool systemRandomBytes(void* buffer, uint32_t bytes) {
    auto* out = static_cast<unsigned char*>(buffer);
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
