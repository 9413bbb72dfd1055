#pragma once
// Exit codes of bvsfx, one per kind of outcome, so that scripts can tell a
// damaged installer from a typing mistake. Documented in `bvsfx --help`.

enum ExitCode : int {
    kExitOk = 0,            // done (warnings may have been printed)
    kExitUsage = 2,         // bad command line: unknown option, missing value, an output that would
                            // destroy an input, options that contradict each other
    kExitInput = 3,         // an input, the stub or the password file is missing or unreadable, or an
                            // input changed while it was read
    kExitLimits = 4,        // something does not fit the payload format or the installer (also: a
                            // warning under pack --strict)
    kExitOutput = 5,        // the output file or an extracted file cannot be written
    kExitNotPayload = 6,    // no payload: marker, header or settings table unreadable
    kExitDamaged = 7,       // the payload is damaged or truncated, or (test) holds names an installer
                            // would mishandle
    kExitPassword = 8,      // password missing or wrong
    kExitUnsafeName = 9,    // extract refused entries whose names would land outside the folder
};

// The table printed by --help.
constexpr const char* kExitCodeHelp =
    "Exit codes:\n"
    "  0  success (warnings may have been printed)\n"
    "  2  bad command line (also: an output that is an input, lies in an input\n"
    "     folder or is the stub; --silent without --dir or --temp; --key-bits,\n"
    "     --kdf-iterations or --classic-encryption without a password)\n"
    "  3  an input, the stub or the password file is missing or unreadable, or\n"
    "     an input changed while it was read\n"
    "  4  something does not fit the payload format or the installer (a name\n"
    "     the installer cannot create, a --dir it cannot make, too many\n"
    "     settings, password too long, a signed stub, an invalid --icon file,\n"
    "     ...); any warning with pack --strict\n"
    "  5  the output or an extracted file cannot be written\n"
    "  6  the file holds no readable payload (marker, header or settings)\n"
    "  7  the payload is damaged or truncated; test: names an installer would\n"
    "     mishandle\n"
    "  8  a password is needed, or the password is wrong\n"
    "  9  extract skipped entries whose names would land outside the folder\n";
