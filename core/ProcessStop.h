#pragma once
// stopProcessAtOnce: the reaction to a corrupted or destroyed object (a
// wrong guard byte). Continuing would act on freed or overwritten memory, so
// the process stops immediately: no message, no cleanup, no unwinding.

[[noreturn]] inline void stopProcessAtOnce() {
    __builtin_trap();
}
