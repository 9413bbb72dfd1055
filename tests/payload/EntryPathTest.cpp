#include "payload/EntryPath.h"

#include <gtest/gtest.h>

TEST(EntryPath, OnlyAWholeDotDotComponentClimbsOut) {
    struct Case {
        const char* name;
        bool climbs;
    } cases[] = {
        {"..", true},
        {"../x", true},
        {"a/..", true},
        {"a/../b", true},
        {"a\\..\\b", true},
        {"C:..\\x", true},
        {"/abs/../x", true},
        {"a", false},
        {"...", false},
        {"..a/b", false},
        {"a../b", false},
        {"a/.b/.", false},
        {"C:\\x\\y", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(EntryPath::climbsOut(c.name), c.climbs) << c.name;
}
