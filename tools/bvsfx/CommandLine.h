#pragma once
// CommandLine: splits one command's arguments into options and operands
// against a table of the options the command knows.
//
// Accepted spellings: "--name VALUE", "--name=VALUE", "-x VALUE", "-xVALUE"
// (short options with a value), "--flag", "-x". "--" ends the options; a lone
// "-" is an operand. Options may come before, between and after operands.

#include <string>
#include <vector>

enum class OptionArity { Flag, Value };

struct OptionSpec {
    const char* longName;  // without the leading "--"
    char shortName;        // 0 when the option has no short form
    OptionArity arity;
    int id;  // the caller's code for the option
};

struct ParsedOption {
    int id;
    std::string value;     // empty for flags
    std::string spelling;  // as typed, for messages ("--level", "-j")
};

struct ParsedCommandLine {
    std::vector<ParsedOption> options;  // in command-line order
    std::vector<std::string> operands;
};

// Fills out from args (the words after the command name). False with a
// message in error for an unknown option, a missing value, or a value given
// to a flag ("--quiet=yes").
bool parseCommandLine(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                      ParsedCommandLine& out, std::string& error);

// Parses a whole decimal number in [minimum, maximum]. False for anything
// else (signs, spaces, trailing text, overflow).
bool parseBoundedInt(const std::string& text, long minimum, long maximum, long& value);
