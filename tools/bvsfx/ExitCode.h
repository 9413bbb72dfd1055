#pragma once
// Exit codes of bvsfx, one per kind of outcome, so that scripts can tell a
// damaged installer from a typing mistake. Documented in `bvsfx --help`.

enum ExitCode : int {
    kExitOk = 0,            // done (warnings may have been printed)
    kExitUsage = 2,         // bad command line: unknown option, missing value
    kExitInput = 3,         // an input, the stub or the password file is missing or unreadable
    kExitLimits = 4,        // something does not fit the payload format or the installer
    kExitOutput = 5,        // the output file or an extracted file cannot be written
    kExitNotPayload = 6,    // no payload: marker, header or settings table unreadable
    kExitDamaged = 7,       // the payload is damaged or truncated
    kExitPassword = 8,      // password missing or wrong
    kExitUnsafeName = 9,    // extract refused entries whose names would land outside the folder
};

// The table printed by --help.
constexpr const char* kExitCodeHelp =
    "Exit codes:\n"
    "  0  success (warnings may have been printed)\n"
    "  2  bad command line\n"
    "  3  an input, the stub or the password file is missing or unreadable\n"
    "  4  something does not fit the payload format or the installer\n"
    "     (name too long, too many settings, password too long, ...)\n"
    "  5  the output or an extracted file cannot be written\n"
    "  6  the file holds no readable payload (marker, header or settings)\n"
    "  7  the payload is damaged or truncated\n"
    "  8  a password is needed, or the password is wrong\n"
    "  9  extract skipped entries whose names would land outside the folder\n";
