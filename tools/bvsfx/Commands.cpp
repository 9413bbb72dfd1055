#include "tools/bvsfx/Commands.h"

#include <cstdio>
#include <string>

#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/InspectCommands.h"
#include "tools/bvsfx/Messages.h"
#include "tools/bvsfx/PackOptions.h"
#include "tools/bvsfx/Packer.h"
#include "tools/bvsfx/StubLocator.h"

namespace {

// A command's help text, then the exit codes.
void printHelp(const char* text) {
    std::fputs(text, stdout);
    std::fputs("\n", stdout);
    printExitCodes(stdout);
}

int runPack(const std::vector<std::string>& args) {
    PackOptions options;
    std::string error;
    if (!parsePackOptions(args, options, error)) {
        Messages::error(error + " (see bvsfx pack --help)");
        return kExitUsage;
    }
    if (options.help) {
        printHelp(kPackHelp);
        return kExitOk;
    }
    Packer packer(options);
    return packer.run();
}

int runInspect(const std::string& command, const std::vector<std::string>& args) {
    InspectOptions options;
    std::string error;
    if (!parseInspectOptions(command, args, options, error)) {
        Messages::error(error + " (see bvsfx " + command + " --help)");
        return kExitUsage;
    }
    if (options.help) {
        printHelp(inspectHelp(command));
        return kExitOk;
    }
    if (command == "list") return runList(options);
    if (command == "info") return runInfo(options);
    if (command == "test") return runTest(options);
    return runExtract(options);
}

}  // namespace

const char* const kGeneralHelp =
    "Usage: bvsfx COMMAND [options] ...\n"
    "\n"
    "Builds self-extracting installers and looks into them.\n"
    "\n"
    "Commands:\n"
    "  pack -o OUT [options] INPUT...   write an installer holding the inputs\n"
    "  list FILE                        the entries of an installer\n"
    "  info FILE                        header, settings, counts, sizes, stub kind\n"
    "  test FILE                        decode every chunk and report damage\n"
    "  extract FILE [-C DIR]            recreate the entries below DIR\n"
    "\n"
    "`bvsfx COMMAND --help` describes each command's options.\n"
    "  -h, --help       this text\n"
    "  --version        the version and the stubs --stub NAME finds\n";

int runBvsfx(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(kGeneralHelp, stderr);
        return kExitUsage;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help" || command == "help") {
        printHelp(kGeneralHelp);
        return kExitOk;
    }
    if (command == "--version") {
        std::printf("bvsfx %s\nstubs:\n%s", BVSFX_VERSION, StubLocator::describeNamedStubs().c_str());
        return kExitOk;
    }
    if (command == "pack") return runPack(rest);
    if (command == "list" || command == "info" || command == "test" || command == "extract") {
        return runInspect(command, rest);
    }
    Messages::error("unknown command " + command + " (see bvsfx --help)");
    return kExitUsage;
}
