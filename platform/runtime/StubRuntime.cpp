// The C++ runtime entry points the stub needs, so that it links no C++
// runtime library: allocation over the C library's heap, and the handlers
// that templates call where a build with exceptions would throw.
//
// The stub is built without exceptions, so a failure the C++ library would
// report by throwing (an allocation that fails, a container grown past its
// maximum) ends the process: the caller has no way to receive it. The
// stub's own code allocates with new (std::nothrow) wherever it can recover.

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void stopProcess() { std::abort(); }

void* allocateOrNull(std::size_t bytes) { return std::malloc(bytes != 0 ? bytes : 1); }

void* allocateOrStop(std::size_t bytes) {
    void* block = allocateOrNull(bytes);
    if (block == nullptr) stopProcess();
    return block;
}

}  // namespace

// The tag object of new (std::nothrow).
namespace std {
const nothrow_t nothrow{};
}  // namespace std

void* operator new(std::size_t bytes) { return allocateOrStop(bytes); }
void* operator new[](std::size_t bytes) { return allocateOrStop(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return allocateOrNull(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return allocateOrNull(bytes); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

// The handlers the library's templates call in place of a throw.
namespace std {
[[noreturn]] void __throw_bad_alloc() { stopProcess(); }
[[noreturn]] void __throw_bad_array_new_length() { stopProcess(); }
[[noreturn]] void __throw_length_error(const char*) { stopProcess(); }
[[noreturn]] void __throw_logic_error(const char*) { stopProcess(); }
[[noreturn]] void __throw_out_of_range(const char*) { stopProcess(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { stopProcess(); }
[[noreturn]] void __throw_invalid_argument(const char*) { stopProcess(); }
[[noreturn]] void __throw_system_error(int) { stopProcess(); }
[[noreturn]] void __throw_bad_function_call() { stopProcess(); }
}  // namespace std

// A pure virtual function called during construction or destruction.
extern "C" [[noreturn]] void __cxa_pure_virtual() { stopProcess(); }

// bzip2 built without its stdio part reports an internal inconsistency
// (a fault in bzip2 itself, never in its input) through this hook.
extern "C" [[noreturn]] void bz_internal_error(int) { stopProcess(); }
