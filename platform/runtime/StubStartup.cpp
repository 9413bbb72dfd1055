// The Windows stub's process entry, in place of the C runtime's startup
// objects (the stub is linked with -nostartfiles).
//
// The runtime's startup prepares what a C program may rely on: the argument
// vectors, the environment table, floating-point and console modes, a
// structured-exception handler that raises signals, thread-local storage
// callbacks and the relocation of data imported without dllimport. The stub
// needs none of it: it reads its command line with GetCommandLineW, keeps no
// thread-local data, installs no signal handler, and links nothing that needs
// runtime relocation (the link refuses any). msvcrt.dll initialises its own
// heap and stdio when it is loaded. What remains is running the static
// constructors before WinMain and the exit handlers after it.

#include <windows.h>

#include <cstdlib>

// libmingw32's constructor runner: calls the static constructors in order
// and registers the matching destructors with atexit.
extern "C" void __main();

// msvcrt.dll exports atexit as data only (the runtime's startup objects
// define the function); its _onexit keeps the same list that exit() runs,
// last registered first.
extern "C" int atexit(void (*handler)()) {
    return _onexit(reinterpret_cast<_onexit_t>(handler)) != nullptr ? 0 : -1;
}

// The entry point the linker names in the image header for a GUI program.
// The system calls it with the stack aligned to 4 bytes only on i686, while
// the compiled code assumes the ABI's 16.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void WinMainCRTStartup() {
    __main();
    // WinMain reads only its instance; the rest is what a caller would pass.
    std::exit(WinMain(GetModuleHandleW(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT));
}
