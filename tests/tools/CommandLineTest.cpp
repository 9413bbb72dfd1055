// Option parsing of the bvsfx commands: the accepted spellings and the
// refusals, as a table.
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/CommandLine.h"

#include <gtest/gtest.h>

namespace {

enum { kOut, kQuiet, kLevel };

const std::vector<OptionSpec> kSpecs = {
    {"output", 'o', OptionArity::Value, kOut},
    {"quiet", 'q', OptionArity::Flag, kQuiet},
    {"level", 0, OptionArity::Value, kLevel},
};

struct Case {
    const char* label;
    std::vector<std::string> args;
    bool ok;
    std::string options;   // "id=value;" per option, in order
    std::string operands;  // "operand;" per operand
};

std::string flatten(const ParsedCommandLine& parsed, std::string& operands) {
    std::string options;
    for (const ParsedOption& option : parsed.options) options += std::to_string(option.id) + "=" + option.value + ";";
    operands.clear();
    for (const std::string& operand : parsed.operands) operands += operand + ";";
    return options;
}

TEST(CommandLine, SpellingsAndRefusals) {
    const Case cases[] = {
        {"long with separate value", {"--output", "a.exe", "in"}, true, "0=a.exe;", "in;"},
        {"long with equals", {"--output=a=b.exe", "in"}, true, "0=a=b.exe;", "in;"},
        {"short separate", {"-o", "x", "in"}, true, "0=x;", "in;"},
        {"short attached", {"-ox", "in"}, true, "0=x;", "in;"},
        {"flag", {"-q", "--quiet"}, true, "1=;1=;", ""},
        {"options after operands", {"a", "--level", "9", "b"}, true, "2=9;", "a;b;"},
        {"double dash ends options", {"--", "-q", "--level"}, true, "", "-q;--level;"},
        {"lone dash is an operand", {"-"}, true, "", "-;"},
        {"empty value allowed", {"--output="}, true, "0=;", ""},
        {"unknown long", {"--nope"}, false, "", ""},
        {"unknown short", {"-z"}, false, "", ""},
        {"flag given a value", {"--quiet=yes"}, false, "", ""},
        {"short flag with tail", {"-qq"}, false, "", ""},
        {"missing value", {"--level"}, false, "", ""},
        {"missing short value", {"-o"}, false, "", ""},
    };
    for (const Case& c : cases) {
        ParsedCommandLine parsed;
        std::string error;
        const bool ok = parseCommandLine(c.args, kSpecs, parsed, error);
        EXPECT_EQ(ok, c.ok) << c.label << ": " << error;
        if (!ok) {
            EXPECT_FALSE(error.empty()) << c.label;
            continue;
        }
        std::string operands;
        EXPECT_EQ(flatten(parsed, operands), c.options) << c.label;
        EXPECT_EQ(operands, c.operands) << c.label;
    }
}

TEST(CommandLine, BoundedIntegers) {
    struct IntCase {
        const char* text;
        bool ok;
        long value;
    } cases[] = {
        {"0", true, 0}, {"9", true, 9}, {"10", false, 0}, {"-1", false, 0}, {"+1", false, 0},
        {"", false, 0}, {"1x", false, 0}, {" 1", false, 0}, {"99999999999999999999", false, 0},
    };
    for (const IntCase& c : cases) {
        long value = -5;
        EXPECT_EQ(parseBoundedInt(c.text, 0, 9, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
