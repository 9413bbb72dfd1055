// The operating system's random source, for values another user must not be
// able to foresee (the runtime's rand() follows from its seed, the clock).
#pragma once

#include <cstdint>

// Fills the buffer; false when the source cannot be had. Windows:
// RtlGenRandom (advapi32's SystemFunction036, looked up at run time from the
// system folder, so that the stub's import table names only the DLLs it
// needs before its DLL search is restricted). POSIX: getrandom(2).
bool systemRandomBytes(void* buffer, uint32_t bytes);
