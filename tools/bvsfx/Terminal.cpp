#include "tools/bvsfx/Terminal.h"

#include <cstdio>

// isatty and fileno are in the C runtime of both systems we build on: the
// POSIX headers on Linux, <io.h> under mingw-w64.
#ifdef _WIN32
#include <io.h>
#define BVSFX_ISATTY _isatty
#define BVSFX_FILENO _fileno
#else
#include <unistd.h>
#define BVSFX_ISATTY isatty
#define BVSFX_FILENO fileno
#endif

namespace Terminal {

bool stderrIsTerminal() { return BVSFX_ISATTY(BVSFX_FILENO(stderr)) != 0; }

}  // namespace Terminal
