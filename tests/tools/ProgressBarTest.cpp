// The progress bar: drawn on a terminal for pack, test and extract, and
// never when standard error is not a terminal or with -q. `script` (from
// util-linux) gives bvsfx a terminal.
#ifdef BVSFX_TOOL_PATH

#include "ToolTestSupport.h"

namespace {

using namespace tool_test;

class ProgressBarTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        ASSERT_TRUE(fs::exists("/usr/bin/script")) << "install util-linux (script) to run this test";
        Bytes stub(64, 0);
        const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
        std::copy(std::begin(ident), std::end(ident), stub.begin());
        stub[18] = 0x3E;
        writeBytes(scratch / "stub", stub);
        writeBytes(scratch / "tree" / "data.bin", noise(3 * 1024 * 1024, 1));
    }

    // What bvsfx writes to its terminal.
    std::string onTerminal(const std::string& arguments) {
        const RunResult result =
            runShell("script -qec " + quote(quote(BVSFX_TOOL_PATH) + " " + arguments) + " /dev/null");
        EXPECT_EQ(result.exitCode, 0) << describe(result);
        return result.out;
    }
};

TEST_F(ProgressBarTest, DrawnOnATerminalOnly) {
    const std::string pack = onTerminal("pack --stub stub -o p.exe tree");
    EXPECT_NE(pack.find("pack     ["), std::string::npos) << pack;
    EXPECT_NE(pack.find("100.0%"), std::string::npos) << pack;
    EXPECT_NE(pack.find('\r'), std::string::npos) << pack;
    const std::string test = onTerminal("test p.exe");
    EXPECT_NE(test.find("test     ["), std::string::npos) << test;
    const std::string extract = onTerminal("extract p.exe -C out");
    EXPECT_NE(extract.find("extract  ["), std::string::npos) << extract;

    EXPECT_EQ(onTerminal("pack -q --stub stub -o q.exe tree").find('['), std::string::npos);
    const RunResult notTerminal = bvsfx({"pack", "--stub", "stub", "-o", "r.exe", "tree"});
    EXPECT_EQ(notTerminal.err.find('['), std::string::npos) << notTerminal.err;
    EXPECT_NE(notTerminal.err.find("wrote"), std::string::npos) << "the summary note stays";
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
