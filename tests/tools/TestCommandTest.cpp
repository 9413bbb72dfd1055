// `bvsfx test` and `bvsfx list` on installers whose names an installer would
// handle wrongly (made by hand, since bvsfx pack refuses them): test names
// each one and fails with exit code 7, list shows them escaped.
#ifdef BVSFX_TOOL_PATH

#include "ToolTestSupport.h"
#include "io/OutputDataBuffer.h"
#include "payload/PayloadWriter.h"
#include "tools/bvsfx/ExitCode.h"

namespace {

using namespace tool_test;

constexpr uint64_t kUnixEpochFileTime = 0x019DB1DED53E8000ull;

Bytes elfStub() {
    Bytes stub(64, 0);
    const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
    std::copy(std::begin(ident), std::end(ident), stub.begin());
    stub[18] = 0x3E;
    return stub;
}


class TestCommandTest : public ScratchTest {
protected:
    // An installer with one file of each name.
    void writeInstaller(const fs::path& path, const Bytes& stub, const std::vector<std::string>& names) {
        DataBuffer payload;
        OutputDataBuffer output(&payload);
        PayloadWriter writer(output);
        ASSERT_TRUE(writer.writeHeader() && writer.endSettings());
        for (const std::string& name : names) {
            ASSERT_TRUE(writer.beginFile(name.c_str(), kUnixEpochFileTime, 0x20));
            ASSERT_TRUE(writer.writeStoredChunk("data", 4));
            ASSERT_TRUE(writer.endFile());
        }
        ASSERT_TRUE(writer.writeEnd());
        Bytes installer = stub;
        installer.insert(installer.end(), payload.getData(), payload.getData() + payload.getSize());
        writeBytes(path, installer);
    }
};

TEST_F(TestCommandTest, NamesThatLeaveTheDestinationOrHoldControlsAreReported) {
    writeInstaller(scratch / "bad.exe", elfStub(),
                   {"ok.txt", "../x", "/tmp/ex", "C:/drive.txt", "a/../../up.txt", "esc\x1B[31mred", "new\nline",
                    "q?.txt"});
    const RunResult tested = bvsfx({"test", "-q", "bad.exe"});
    EXPECT_EQ(tested.exitCode, kExitDamaged) << describe(tested);
    for (const char* expected : {"bad.exe: ../x: the name has a '..' component", "bad.exe: /tmp/ex: the name is absolute",
                                 "bad.exe: C:/drive.txt: the name starts with a drive",
                                 "bad.exe: a/../../up.txt: the name has a '..' component",
                                 "bad.exe: \"esc\\e[31mred\": the name holds a control character",
                                 "bad.exe: \"new\\nline\": the name holds a control character"}) {
        EXPECT_NE(tested.err.find(expected), std::string::npos) << expected << "\n" << tested.err;
    }
    EXPECT_EQ(tested.err.find("ok.txt"), std::string::npos) << tested.err;
    EXPECT_EQ(tested.err.find("q?.txt"), std::string::npos) << "a Linux stub can create it: " << tested.err;
    EXPECT_NE(tested.out.find("bad.exe: UNFIT (6 problems)"), std::string::npos) << tested.out;
    EXPECT_EQ(tested.err.find('\x1B'), std::string::npos) << "raw ESC on the terminal";

    const RunResult listed = bvsfx({"list", "bad.exe"});
    EXPECT_EQ(listed.exitCode, kExitOk) << describe(listed);
    EXPECT_NE(listed.out.find("\"esc\\e[31mred\"  (the name holds a control character)"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("/tmp/ex  (the name is absolute"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("  ok.txt\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\"new\\nline\""), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find('\x1B'), std::string::npos) << "raw ESC in the listing";
    EXPECT_NE(listed.out.find("8 files, 0 folders"), std::string::npos) << listed.out;
}

TEST_F(TestCommandTest, NamesWindowsCannotHoldAreReportedForWindowsStubs) {
    writeInstaller(scratch / "win.exe", peStub(), {"fine.txt", "q?.txt", "CON", "nul/x.txt", "dot.", "space "});
    const RunResult tested = bvsfx({"test", "-q", "win.exe"});
    EXPECT_EQ(tested.exitCode, kExitDamaged) << describe(tested);
    for (const char* expected : {"q?.txt: the character ? is not allowed", "CON: \"CON\" is a device name",
                                 "nul/x.txt: \"nul\" is a device name", "dot.: Windows drops a dot or space",
                                 "space : Windows drops a dot or space"}) {
        EXPECT_NE(tested.err.find(expected), std::string::npos) << expected << "\n" << tested.err;
    }
    EXPECT_EQ(tested.err.find("fine.txt"), std::string::npos) << tested.err;
    EXPECT_NE(tested.out.find("(5 problems)"), std::string::npos) << tested.out;
}

TEST_F(TestCommandTest, SoundInstallerPassesWithCountsInTheSingular) {
    writeText(scratch / "tree" / "dir" / "only.txt", "one");
    writeBytes(scratch / "stub", elfStub());
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "one.exe", "tree"}).exitCode, 0);
    const RunResult tested = bvsfx({"test", "-q", "one.exe"});
    EXPECT_EQ(tested.exitCode, kExitOk) << describe(tested);
    EXPECT_EQ(tested.out, "one.exe: OK, 1 file and 1 folder\n");
    const RunResult extracted = bvsfx({"extract", "one.exe", "-C", "out"});
    EXPECT_EQ(extracted.exitCode, kExitOk) << describe(extracted);
    EXPECT_NE(extracted.err.find("extracted 1 file and 1 folder into"), std::string::npos) << extracted.err;
    const RunResult packed = bvsfx({"pack", "--stub", "stub", "-o", "two.exe", "tree"});
    EXPECT_NE(packed.err.find(": 1 file, 1 folder,"), std::string::npos) << packed.err;

    // One damaged byte: "1 problem".
    Bytes installer = readBytes(scratch / "one.exe");
    const std::string content = "one";
    auto it = std::search(installer.begin(), installer.end(), content.begin(), content.end());
    ASSERT_NE(it, installer.end());
    *it = 'X';
    writeBytes(scratch / "one.exe", installer);
    const RunResult damaged = bvsfx({"test", "-q", "one.exe"});
    EXPECT_EQ(damaged.exitCode, kExitDamaged) << describe(damaged);
    EXPECT_NE(damaged.out.find("DAMAGED (1 problem)"), std::string::npos) << damaged.out;
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
