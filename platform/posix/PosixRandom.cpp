// The system's random source: getrandom(2), the kernel's generator, which
// blocks only until it has been seeded once after boot.
#include <sys/random.h>

#include <cerrno>
#include <cstddef>

#include "platform/win32.h"

BOOLEAN RtlGenRandom(void* RandomBuffer, ULONG RandomBufferLength) {
  auto* out = static_cast<unsigned char*>(RandomBuffer);
  size_t filled = 0;
  while (filled < RandomBufferLength) {
    const ssize_t got = ::getrandom(out + filled, RandomBufferLength - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FALSE;
    }
    filled += static_cast<size_t>(got);
  }
  return TRUE;
}
