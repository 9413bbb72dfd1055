#include "tools/bvsfx/InspectOptions.h"

#include "tools/bvsfx/CommandLine.h"

namespace {

enum InspectOptionId { kPassword, kPasswordFile, kDirectory, kQuiet, kHelp };

const char* const kListHelp =
    "Usage: bvsfx list FILE [--password TEXT | --password-file FILE] [-q]\n"
    "\n"
    "Lists the entries of an installer: time (UTC), attributes (d directory,\n"
    "r read-only, h hidden, s system, a archive), size, packed size, name.\n"
    "Sizes come from the check records bvsfx writes; \"?\" where there is none.\n"
    "Names with control characters, bytes that are not UTF-8 or characters\n"
    "that reorder text are shown in double quotes with escapes (\\e, \\n,\n"
    "\\xHH, \\u{HHHH}); a name an installer would handle wrongly (see bvsfx\n"
    "test --help) is followed by the reason. An encrypted installer needs\n"
    "its password for the names; on a terminal it is asked for when none is\n"
    "given.\n";

const char* const kInfoHelp =
    "Usage: bvsfx info FILE [--password TEXT | --password-file FILE] [-q]\n"
    "\n"
    "Shows the stub kind and size, the payload header, every setting, the\n"
    "entry counts and the sizes. Without the password of an encrypted\n"
    "installer the sizes of its files stay unknown.\n";

const char* const kTestHelp =
    "Usage: bvsfx test FILE [--password TEXT | --password-file FILE] [-q]\n"
    "\n"
    "Reads every record and decodes every chunk as the installer does, and\n"
    "compares each file with its check record. Reports every damage found,\n"
    "and every name an installer would handle wrongly: one that would leave\n"
    "the destination (absolute, a drive, a '..' component), one with control\n"
    "characters, one longer than 799 bytes and, when the stub is a Windows\n"
    "program, one Windows cannot hold (exit code 7).\n"
    "Files without a check record (payloads not written by bvsfx) are counted\n"
    "as unchecked: damage to their stored data cannot be detected.\n";

const char* const kExtractHelp =
    "Usage: bvsfx extract FILE [-C DIR] [--password TEXT | --password-file FILE] [-q]\n"
    "\n"
    "Recreates the entries below DIR (default: the current folder), with\n"
    "their times and read-only attributes. Absolute names, names that climb\n"
    "out of DIR and names that would pass through a symbolic link are skipped\n"
    "(exit code 9). Damaged files are written as far as they decode and\n"
    "reported (exit code 7); a file whose data is cut short is not written.\n"
    "Each file is written under a temporary name and renamed over an old\n"
    "file only when complete, so a failure or an interruption leaves the old\n"
    "file as it was.\n";

}  // namespace

const char* inspectHelp(const std::string& command) {
    if (command == "list") return kListHelp;
    if (command == "info") return kInfoHelp;
    if (command == "test") return kTestHelp;
    return kExtractHelp;
}

bool parseInspectOptions(const std::string& command, const std::vector<std::string>& args,
                         InspectOptions& options, std::string& error) {
    options = InspectOptions();
    options.command = command;
    options.directory = ".";
    std::vector<OptionSpec> specs = {
        {"password", 'p', OptionArity::Value, kPassword},
        {"password-file", 0, OptionArity::Value, kPasswordFile},
        {"quiet", 'q', OptionArity::Flag, kQuiet},
        {"help", 'h', OptionArity::Flag, kHelp},
    };
    if (command == "extract") specs.push_back({"directory", 'C', OptionArity::Value, kDirectory});
    ParsedCommandLine parsed;
    if (!parseCommandLine(args, specs, parsed, error)) return false;
    for (const ParsedOption& option : parsed.options) {
        switch (option.id) {
            case kPassword:
                options.password.optionGiven = true;
                options.password.option = option.value;
                break;
            case kPasswordFile:
                options.password.fileGiven = true;
                options.password.file = option.value;
                break;
            case kDirectory: options.directory = option.value; break;
            case kQuiet: options.quiet = true; break;
            case kHelp: options.help = true; break;
        }
    }
    if (options.help) return true;
    if (options.password.optionGiven && options.password.fileGiven) {
        error = "give --password or --password-file, not both";
        return false;
    }
    if (parsed.operands.size() != 1) {
        error = command + " takes exactly one FILE";
        return false;
    }
    if (options.directory.empty()) {
        error = "-C needs a folder";
        return false;
    }
    options.file = parsed.operands[0];
    return true;
}
