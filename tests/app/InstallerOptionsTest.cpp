// The installer's own command-line options: which words count, the folder
// of --target, the arguments after "--", and everything else ignored.

#include "app/InstallerOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Expected {
    bool help = false, list = false, check = false, noexec = false, quiet = false;
    bool hasTarget = false;
    const char* target = "";
    bool hasPassthrough = false;
    const char* passthrough = "";
    InstallerOptions::Error error = InstallerOptions::Error::None;
    bool anyGiven = true;
    bool writesText = false;
};

Expected given() { return Expected(); }

TEST(InstallerOptions, ParsesTheWordsAndIgnoresTheRest) {
    struct Case {
        const char* label;
        std::vector<const char*> arguments;
        Expected expected;
    };
    auto with = [](auto change) {
        Expected e = given();
        change(e);
        return e;
    };
    const Case cases[] = {
        {"no arguments", {}, with([](Expected& e) { e.anyGiven = false; })},
        {"unknown words only", {"/S", "-help", "--HELP", "--lists", "x"},
         with([](Expected& e) { e.anyGiven = false; })},
        {"help", {"--help"}, with([](Expected& e) { e.help = true; e.writesText = true; })},
        {"list and check among unknown words", {"foo", "--list", "bar", "--check"},
         with([](Expected& e) { e.list = e.check = true; e.writesText = true; })},
        {"noexec and quiet", {"--noexec", "--quiet"}, with([](Expected& e) { e.noexec = e.quiet = true; })},
        {"target with its folder", {"--target", "C:\\Program Files\\X", "--noexec"},
         with([](Expected& e) {
             e.hasTarget = e.noexec = true;
             e.target = "C:\\Program Files\\X";
             e.writesText = true;
         })},
        {"target=folder", {"--target=out dir"},
         with([](Expected& e) { e.hasTarget = true; e.target = "out dir"; e.writesText = true; })},
        {"target takes the next word whatever it is", {"--target", "--quiet"},
         with([](Expected& e) { e.hasTarget = true; e.target = "--quiet"; e.writesText = true; })},
        {"target as the last word", {"--list", "--target"},
         with([](Expected& e) {
             e.list = e.hasTarget = true;
             e.error = InstallerOptions::Error::TargetWithoutFolder;
             e.writesText = true;
         })},
        {"target with an empty folder", {"--target="},
         with([](Expected& e) {
             e.hasTarget = true;
             e.error = InstallerOptions::Error::TargetWithoutFolder;
             e.writesText = true;
         })},
        {"words after -- are the setup program's", {"--quiet", "--", "--help", "a b", "", "--"},
         with([](Expected& e) {
             e.quiet = e.hasPassthrough = true;
             e.passthrough = "--help \"a b\" \"\" --";
         })},
        {"-- with nothing after it", {"--"}, with([](Expected& e) { e.hasPassthrough = true; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        InstallerOptions options;
        options.parse(static_cast<int32_t>(c.arguments.size()), c.arguments.data());
        const Expected& e = c.expected;
        EXPECT_EQ(options.help, e.help);
        EXPECT_EQ(options.list, e.list);
        EXPECT_EQ(options.check, e.check);
        EXPECT_EQ(options.noexec, e.noexec);
        EXPECT_EQ(options.quiet, e.quiet);
        EXPECT_EQ(options.hasTarget, e.hasTarget);
        EXPECT_STREQ(options.target.getString(), e.target);
        EXPECT_EQ(options.hasPassthrough, e.hasPassthrough);
        EXPECT_STREQ(options.passthrough.getString(), e.passthrough);
        EXPECT_EQ(options.error, e.error);
        EXPECT_EQ(options.anyGiven(), e.anyGiven);
        EXPECT_EQ(options.writesText(), e.writesText);
    }
}

}  // namespace
