#pragma once
// InstallerOptions: the installer's own command-line options, the same words
// on every system.
//
//   --help        the usage text
//   --list        the entries, decoded and verified, nothing written
//   --check       everything decoded and verified, nothing written
//   --target DIR  (or --target=DIR) a silent extraction into DIR
//   --noexec      the setup program is not started
//   --quiet       no progress output
//   --            every argument after it goes to the setup program
//
// Words are matched exactly (case-sensitively); anything else is ignored,
// as the installer has always ignored its arguments. The payload's setting
// "allowCommandLine" = "false" turns all of them off (Configuration).

#include <cstdint>

#include "core/StringBuffer.h"

class InstallerOptions {
public:
    enum class Error {
        None,
        // --target as the last argument, or with an empty folder.
        TargetWithoutFolder,
    };

    InstallerOptions() = default;
    InstallerOptions(const InstallerOptions&) = delete;
    InstallerOptions& operator=(const InstallerOptions&) = delete;

    // Reads the arguments that follow the program's name (UTF-8 texts; they
    // are copied). Called once.
    void parse(int32_t count, const char* const* arguments);

    // Some option was recognised (the run then differs from one without
    // arguments).
    bool anyGiven() const;
    // Options whose run writes text: help, list, check, target, or an error.
    bool writesText() const;

    bool help = false;
    bool list = false;
    bool check = false;
    bool noexec = false;
    bool quiet = false;
    bool hasTarget = false;
    StringBuffer target;  // the folder of --target
    bool hasPassthrough = false;
    StringBuffer passthrough;  // the arguments after "--", quoted (SetupArguments)
    Error error = Error::None;
};
