// Fuzz target: bvsfx list, info and test on an arbitrary file. The input is
// written to a scratch file and handed to the three commands as a user
// would (bvsfx list FILE --password fuzz -q); the commands only read, so
// nothing else touches the disk.
//
// Checks beyond crashes, leaks and UB: each command returns one of bvsfx's
// exit codes, and test never calls a file sound that list found damaged.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/InspectCommands.h"
#include "tools/bvsfx/InspectOptions.h"

namespace {

std::string g_inputPath;

void removeInput() { unlink(g_inputPath.c_str()); }

bool writeInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(g_inputPath.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

InspectOptions optionsFor(const char* command) {
    InspectOptions options;
    options.command = command;
    options.file = g_inputPath;
    options.password.optionGiven = true;
    options.password.option = "fuzz";  // the password of the encrypted seeds
    options.quiet = true;
    return options;
}

// What a read-only command may return for a file that exists.
bool isReadExitCode(int code) {
    switch (code) {
        case kExitOk: case kExitInput: case kExitLimits: case kExitNotPayload: case kExitDamaged: case kExitPassword:
            return true;
        default:
            return false;
    }
}

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_bvsfx: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/fuzz_bvsfx_XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) std::abort();
    close(fd);
    g_inputPath = pattern;
    std::atexit(removeInput);
    // The listings go to standard output and the problems found to standard
    // error; scripts/fuzz runs this target with -close_fd_mask=3, which
    // keeps the fuzzer's and the sanitizers' reports.
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!writeInput(data, size)) std::abort();
    const int listed = runList(optionsFor("list"));
    const int described = runInfo(optionsFor("info"));
    const int tested = runTest(optionsFor("test"));
    check(isReadExitCode(listed) && isReadExitCode(described) && isReadExitCode(tested),
          "a command returned an exit code that does not fit reading a file");
    check(!(listed == kExitDamaged && tested == kExitOk), "test passed a file that list found damaged");
    return 0;
}
