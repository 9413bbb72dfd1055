#pragma once
// InspectOptions: the command line of list, info, test and extract:
//
//   bvsfx list|info|test FILE [--password TEXT | --password-file FILE] [-q]
//   bvsfx extract FILE [-C DIR] [--password ...] [-q]

#include <string>
#include <vector>

#include "tools/bvsfx/Password.h"

struct InspectOptions {
    std::string command;  // list, info, test or extract
    std::string file;
    std::string directory;  // extract: -C, default "."
    Password::Sources password;
    bool quiet = false;
    bool help = false;
};

// False with a message for a bad command line.
bool parseInspectOptions(const std::string& command, const std::vector<std::string>& args,
                         InspectOptions& options, std::string& error);

// The --help text of the command.
const char* inspectHelp(const std::string& command);
