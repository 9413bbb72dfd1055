// Arguments handed on to the setup program: quoted so that the splitter on
// the other side gives each one back unchanged. On Windows the splitter is
// the system's own CommandLineToArgvW; on other systems it is the POSIX
// layer's, which ShellExecuteExA uses to build the setup program's argv.

#include "app/SetupArguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/XString.h"
#include "platform/win32.h"
#ifndef _WIN32
#include "platform/posix/PosixLayer.h"
#endif

namespace {

using Arguments = std::vector<std::string>;

std::string quoted(const Arguments& arguments) {
    StringBuffer line;
    for (const std::string& argument : arguments) appendSetupArgument(line, argument.c_str());
    return line.getString();
}

// The parameters split again, as the setup program's side splits them.
Arguments split(const std::string& parameters) {
#ifdef _WIN32
    // CommandLineToArgvW takes its first word as the program's name, with
    // rules of its own: put a plain one in front.
    XString line;
    line.setFromUtf8(("setup.exe " + parameters).c_str());
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(reinterpret_cast<LPCWSTR>(line.getUtf16()), &count);
    EXPECT_NE(wide, nullptr);
    Arguments arguments;
    for (int i = 1; i < count; ++i) {
        XString argument;
        argument.setFromUtf16(reinterpret_cast<const uint16_t*>(wide[i]));
        arguments.push_back(argument.getUtf8());
    }
    LocalFree(wide);
    return arguments;
#else
    return posix_layer::splitCommandLine(parameters.c_str());
#endif
}

TEST(SetupArguments, QuotesOnlyWhatNeedsIt) {
    struct Case {
        Arguments arguments;
        const char* parameters;
    };
    const Case cases[] = {
        {{"plain", "/S", "--x=1"}, "plain /S --x=1"},
        {{"two words"}, "\"two words\""},
        {{""}, "\"\""},
        {{"a\"b"}, "\"a\\\"b\""},
        {{"c:\\dir\\file"}, "c:\\dir\\file"},
        {{"c:\\dir with space\\"}, "\"c:\\dir with space\\\\\""},
        {{"x\\\"y z"}, "\"x\\\\\\\"y z\""},
        {{"tab\there"}, "\"tab\there\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(quoted(c.arguments), c.parameters);
    }
}

TEST(SetupArguments, AfterTheGivenParametersWithOneSpace) {
    StringBuffer line("/quiet");
    appendSetupArgument(line, "a b");
    EXPECT_STREQ(line.getString(), "/quiet \"a b\"");
}

TEST(SetupArguments, TheSplitterGivesEveryArgumentBack) {
    const Arguments cases[] = {
        {"one"},
        {"two words", "and", "more words"},
        {""},
        {"", "", "x"},
        {"\""},
        {"\"\""},
        {"\"quoted\""},
        {"a\"b\"c d"},
        {"\\"},
        {"\\\\"},
        {"trailing\\"},
        {"trailing space\\"},
        {"trailing space\\\\"},
        {"\\\"", "\\\\\"", "\\\\\\\""},
        {"c:\\Program Files\\X\\", "C:\\temp"},
        {"tab\tinside", "new\nline", "vertical\vtab"},
        {"--", "--help", "-x", "/S"},
        {"%TEMP%", "a&b|c<d>e^f", "!bang!"},
        {"Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC"},
    };
    for (const Arguments& arguments : cases) {
        const std::string parameters = quoted(arguments);
        EXPECT_EQ(split(parameters), arguments) << parameters;
    }
}

}  // namespace
