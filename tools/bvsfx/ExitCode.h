#pragma once
// Exit codes of bvsfx, one per kind of outcome, so that scripts can tell a
// damaged installer from a typing mistake. What each means is said once, in
// kExitCodeMeanings, which `bvsfx --help` prints.

#include <cstdio>

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,
    kExitInput = 3,
    kExitLimits = 4,
    kExitOutput = 5,
    kExitNotPayload = 6,
    kExitDamaged = 7,
    kExitPassword = 8,
    kExitUnsafeName = 9,
};

struct ExitCodeMeaning {
    ExitCode code;
    const char* meaning;  // continuation lines indented to the text's column
};

constexpr ExitCodeMeaning kExitCodeMeanings[] = {
    {kExitOk, "success (warnings may have been printed)"},
    {kExitUsage,
     "bad command line (also: an output that is an input, lies in an input\n"
     "     folder or is the stub; --silent without --dir or --temp; --key-bits,\n"
     "     --kdf-iterations or --classic-encryption without a password)"},
    {kExitInput,
     "an input, the stub or the password file is missing or unreadable, or\n"
     "     an input changed while it was read"},
    {kExitLimits,
     "something does not fit the payload format or the installer (a name\n"
     "     the installer cannot create, a --dir it cannot make, too many\n"
     "     settings, password too long, a signed stub, an invalid --icon file,\n"
     "     ...); any warning with pack --strict"},
    {kExitOutput, "the output or an extracted file cannot be written"},
    {kExitNotPayload, "the file holds no readable payload (marker, header or settings)"},
    {kExitDamaged,
     "the payload is damaged or truncated; test: names an installer would\n"
     "     mishandle"},
    {kExitPassword, "a password is needed, or the password is wrong"},
    {kExitUnsafeName, "extract skipped entries whose names would land outside the folder"},
};

// "Exit codes:" and one entry per code, as --help shows them.
inline void printExitCodes(std::FILE* out) {
    std::fputs("Exit codes:\n", out);
    for (const ExitCodeMeaning& entry : kExitCodeMeanings)
        std::fprintf(out, "  %d  %s\n", entry.code, entry.meaning);
}
