// bvsfx: builds installers (pack) and looks into them (list, info, test,
// extract). Each command is one class; this file only picks it.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/bvsfx/Commands.h"
#include "tools/bvsfx/ExitCode.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return runBvsfx(args);
}
