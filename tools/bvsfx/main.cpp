// bvsfx: builds installers (pack) and looks into them (list, info, test,
// extract). This file only takes the arguments; runBvsfx (Commands.cpp)
// picks the command: pack is the Packer class, the four that read an
// installer are functions over InstallerFile (InspectCommands.h).
//
// Every argument is UTF-8 inside bvsfx. On Windows the arguments are taken
// from the UTF-16 command line (the char argv of the C runtime holds them in
// the ANSI code page, which loses every character outside it), and the
// console is switched to UTF-8 so that names print as they are.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/bvsfx/Commands.h"
#include "tools/bvsfx/ExitCode.h"

#ifdef _WIN32
#include "core/XString.h"
#include "platform/win32.h"

namespace {

std::vector<std::string> utf8Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return args;
    for (int i = 1; i < count; ++i) {
        XString argument;
        argument.setFromUtf16(reinterpret_cast<const uint16_t*>(wide[i]));
        args.emplace_back(argument.getUtf8());
    }
    LocalFree(wide);
    return args;
}

}  // namespace

int main() {
    SetConsoleOutputCP(CP_UTF8);
    return runBvsfx(utf8Arguments());
}
#else
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return runBvsfx(args);
}
#endif
