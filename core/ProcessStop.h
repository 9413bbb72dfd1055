#pragma once
// stopProcessAtOnce: the reaction to a corrupted or destroyed object (a
// wrong guard byte) and to a size that no longer fits the 32-bit fields.
// Continuing would act on freed or overwritten memory, so the process stops
// immediately: no message, no cleanup, no unwinding.

#include <cstdint>

// Exit code of a process stopped this way on Windows, where the stop is a
// termination rather than a trap: the system's fail-fast status.
constexpr uint32_t kProcessStopExitCode = 0xC0000409u;

[[noreturn]] void stopProcessAtOnce();
