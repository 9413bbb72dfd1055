// The start-up decision between a silent run and the main dialog.

#include "app/SaApp.h"

#include <gtest/gtest.h>

namespace {

TEST(SaApp, RunsSilentlyOnlyWithoutInterfaceAndWithAKnownDestination) {
    struct Case {
        bool noInterface;
        const char* unzipDir;
        bool unzipToTemp;
        bool silent;
    } cases[] = {
        {true, "C:\\Target", false, true},
        {true, "", true, true},
        {true, "C:\\Target", true, true},
        {true, "", false, false},  // nowhere to extract: the dialog asks
        {false, "C:\\Target", true, false},
        {false, "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.noInterface << " '" << c.unzipDir << "' " << c.unzipToTemp);
        SaApp app;
        app.m_noInterface = c.noInterface;
        app.m_unzipDir.setString(c.unzipDir);
        app.m_unzipToTemp = c.unzipToTemp;
        EXPECT_EQ(app.runsSilently(), c.silent);
    }
}

}  // namespace
