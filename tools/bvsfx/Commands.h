#pragma once
// Commands: the dispatch of bvsfx's command line to its commands, with the
// general help and the version.

#include <string>
#include <vector>

// args: the words after the program name. Returns the exit code.
int runBvsfx(const std::vector<std::string>& args);

// The text of `bvsfx --help`.
extern const char* const kGeneralHelp;
