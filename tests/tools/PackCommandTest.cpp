// `bvsfx pack` as a user meets it: reproducible output, the settings table
// it writes, and every refusal with its exit code and message. Round trips
// through the installer and `bvsfx extract` are in RoundTripTest.cpp.
#ifdef BVSFX_TOOL_PATH

#include <unistd.h>

#include <algorithm>

#include "ToolTestSupport.h"
#include "tools/bvsfx/ExitCode.h"

namespace {

using namespace tool_test;

const Bytes kMarker = {0x48, 0x12, 0x90, 0xBF, 0x49, 0xFF, 0x91, 0xAA};

size_t markerOffset(const Bytes& file) {
    auto it = std::search(file.begin(), file.end(), kMarker.begin(), kMarker.end());
    return it == file.end() ? std::string::npos : size_t(it - file.begin());
}

class PackCommandTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        // The first bytes of an x86-64 ELF program: enough for a stub that
        // packs without a warning (it is never run here).
        Bytes stub(64, 0);
        const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
        std::copy(std::begin(ident), std::end(ident), stub.begin());
        stub[18] = 0x3E;
        writeBytes(scratch / "stub", stub);
        writeBytes(scratch / "tree" / "big.bin", noise(3 * 1024 * 1024, 1));
        writeBytes(scratch / "tree" / "docs" / "guide.txt", text(300000, 2));
        writeText(scratch / "tree" / "empty.txt", "");
        fs::create_directories(scratch / "tree" / "nothing-here");
    }

    RunResult pack(std::vector<std::string> extra) {
        std::vector<std::string> args = {"pack", "--stub", "stub", "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        return bvsfx(args);
    }
};

TEST_F(PackCommandTest, SameInputsGiveTheSameBytes) {
    // Different thread counts, argument order and encryption runs: the
    // output depends on the inputs and options only.
    writeText(scratch / "other.txt", "other");
    ASSERT_EQ(pack({"-o", "a.exe", "-j", "1", "tree", "other.txt"}).exitCode, 0);
    ASSERT_EQ(pack({"-o", "b.exe", "-j", "4", "other.txt", "tree"}).exitCode, 0);
    EXPECT_EQ(readBytes(scratch / "a.exe"), readBytes(scratch / "b.exe"));
    ASSERT_EQ(pack({"-o", "c.exe", "-j", "1", "-p", "pw", "tree"}).exitCode, 0);
    ASSERT_EQ(pack({"-o", "d.exe", "-j", "3", "-p", "pw", "tree"}).exitCode, 0);
    EXPECT_EQ(readBytes(scratch / "c.exe"), readBytes(scratch / "d.exe"));
    EXPECT_NE(readBytes(scratch / "a.exe"), readBytes(scratch / "c.exe"));
}

TEST_F(PackCommandTest, OutputInsideTheInputIsNotPackedIntoItself) {
    ASSERT_EQ(pack({"-o", "tree/setup.exe", "tree"}).exitCode, 0);
    const Bytes first = readBytes(scratch / "tree" / "setup.exe");
    ASSERT_EQ(pack({"-o", "tree/setup.exe", "tree"}).exitCode, 0);
    EXPECT_EQ(readBytes(scratch / "tree" / "setup.exe"), first);
    EXPECT_FALSE(fs::exists(scratch / "tree" / "setup.exe.bvsfx-partial"));
}

TEST_F(PackCommandTest, StubCopiedInFrontAndHeaderFlags) {
    struct Case {
        std::vector<std::string> options;
        uint8_t encryptionFlag;
        uint8_t keyCode;
    } cases[] = {
        {{}, 0, 0}, {{"-p", "x", "--key-bits", "128"}, 1, 0}, {{"-p", "x", "--key-bits", "192"}, 1, 1},
        {{"-p", "x"}, 1, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-o", "o.exe"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("tree");
        ASSERT_EQ(pack(args).exitCode, 0);
        const Bytes out = readBytes(scratch / "o.exe");
        const Bytes stub = readBytes(scratch / "stub");
        ASSERT_EQ(markerOffset(out), stub.size());
        EXPECT_TRUE(std::equal(stub.begin(), stub.end(), out.begin()));
        EXPECT_EQ(out[stub.size() + 8 + 4], c.encryptionFlag);
        EXPECT_EQ(out[stub.size() + 8 + 5], c.keyCode);
    }
}

// The installer reads at most 200 settings and then goes straight on: a
// full table must have no terminator.
TEST_F(PackCommandTest, TwoHundredSettingsWithoutTerminatorAndNoMore) {
    std::vector<std::string> args = {"-o", "full.exe"};
    for (int i = 0; i < 200; ++i) {
        args.push_back("--set");
        args.push_back("k" + std::to_string(i) + "=v");
    }
    args.push_back("tree");
    ASSERT_EQ(pack(args).exitCode, 0);
    const Bytes out = readBytes(scratch / "full.exe");
    size_t at = markerOffset(out) + 8 + 6;
    for (int i = 0; i < 200; ++i) {
        const size_t nameBytes = out[at] | (out[at + 1] << 8);
        ASSERT_EQ(nameBytes, ("k" + std::to_string(i)).size());
        at += 2 + nameBytes;
        const size_t valueBytes = out[at] | (out[at + 1] << 8);
        at += 2 + valueBytes;
    }
    const Bytes entryMagic = {0x9B, 0xE5, 0x27, 0x6D};
    EXPECT_TRUE(std::equal(entryMagic.begin(), entryMagic.end(), out.begin() + long(at)))
        << "the first entry record must follow the 200th pair directly";

    args.insert(args.begin() + 2, {"--set", "one=more"});
    const RunResult refused = pack(args);
    EXPECT_EQ(refused.exitCode, kExitLimits) << describe(refused);
    EXPECT_NE(refused.err.find("at most 200"), std::string::npos);
}

TEST_F(PackCommandTest, SettingsKeepTheirCaseAndLaterValuesWin) {
    ASSERT_EQ(pack({"-o", "s.exe", "--title", "T", "--set", "AppTitle=other", "--set", "appTitle=U",
                    "--setup", "big.bin", "tree"})
                  .exitCode,
              0);
    const Bytes out = readBytes(scratch / "s.exe");
    const std::string payload(out.begin() + long(markerOffset(out)) + 14, out.end());
    // appTitle written once with the later value, then setupFilename, then
    // the differently spelt AppTitle as a setting of its own.
    const std::string expected = std::string("\x08\x00", 2) + "appTitle" + std::string("\x01\x00", 2) + "U" +
                                 std::string("\x0D\x00", 2) + "setupFilename" + std::string("\x07\x00", 2) +
                                 "big.bin" + std::string("\x08\x00", 2) + "AppTitle" + std::string("\x05\x00", 2) +
                                 "other" + std::string("\x00\x00", 2);
    EXPECT_EQ(payload.substr(0, expected.size()), expected);
}

TEST_F(PackCommandTest, RefusalsAndWarnings) {
    writeText(scratch / "long.txt", std::string(600, 'p'));
    writeText(scratch / "pw.txt", "from-file\r\nsecond line ignored\n");
    writeText(scratch / "empty-pw.txt", "\n");
    // An installer cannot serve as a stub: its own payload would be found.
    ASSERT_EQ(pack({"-o", "packed.exe", "tree"}).exitCode, 0);
    struct Case {
        const char* label;
        std::vector<std::string> args;  // after "pack -q"
        int exitCode;
        const char* message;             // expected in stderr
    } cases[] = {
        {"no output", {"--stub", "stub", "tree"}, kExitUsage, "needs -o"},
        {"no input", {"--stub", "stub", "-o", "x"}, kExitUsage, "at least one INPUT"},
        {"unknown option", {"--stub", "stub", "-o", "x", "--fast", "tree"}, kExitUsage, "unknown option --fast"},
        {"level out of range", {"--stub", "stub", "-o", "x", "--level", "13", "tree"}, kExitUsage, "0 to 12"},
        {"key bits", {"--stub", "stub", "-o", "x", "-p", "a", "--key-bits", "512", "tree"}, kExitUsage, "128, 192 or 256"},
        {"jobs zero", {"--stub", "stub", "-o", "x", "-j", "0", "tree"}, kExitUsage, "1 to 256"},
        {"set without name", {"--stub", "stub", "-o", "x", "--set", "=v", "tree"}, kExitUsage, "NAME=VALUE"},
        {"both password forms", {"--stub", "stub", "-o", "x", "-p", "a", "--password-file", "pw.txt", "tree"}, kExitUsage, "not both"},
        {"missing input", {"--stub", "stub", "-o", "x", "tree", "absent"}, kExitInput, "absent: no such file or folder"},
        {"missing stub", {"--stub", "no-such-stub", "-o", "x", "tree"}, kExitInput, "stub no-such-stub not found"},
        {"installer as stub", {"--stub", "packed.exe", "-o", "x", "tree"}, kExitInput, "holds a payload marker"},
        {"silent with password", {"--stub", "stub", "-o", "x", "--silent", "--temp", "-p", "a", "tree"}, kExitUsage, "would extract nothing"},
        {"password too long", {"--stub", "stub", "-o", "x", "--password-file", "long.txt", "tree"}, kExitLimits, "at most 499"},
        {"password file missing", {"--stub", "stub", "-o", "x", "--password-file", "nope.txt", "tree"}, kExitInput, "cannot read the password"},
        {"password file empty", {"--stub", "stub", "-o", "x", "--password-file", "empty-pw.txt", "tree"}, kExitUsage, "is empty"},
        {"silent without folder", {"--stub", "stub", "-o", "w1", "--silent", "tree"}, kExitOk, "warning: --silent without --dir or --temp"},
        {"setup not packed", {"--stub", "stub", "-o", "w2", "--setup", "setup.exe", "tree"}, kExitOk, "warning: the setup program setup.exe is not among"},
        {"setup packed", {"--stub", "stub", "-o", "w3", "--setup", "docs\\guide.txt", "tree"}, kExitOk, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"pack", "-q"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult result = bvsfx(args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.label << ": " << describe(result);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.label << ": " << result.err;
        if (c.exitCode != kExitOk) {
            EXPECT_FALSE(fs::exists(scratch / "x")) << c.label;
        }
        if (std::string(c.message).empty()) {
            EXPECT_EQ(result.err.find("warning"), std::string::npos) << c.label << ": " << result.err;
        }
    }
}

TEST_F(PackCommandTest, PasswordSourcesGiveTheSameInstaller) {
    writeText(scratch / "pw.txt", "from-file\r\nsecond line ignored\n");
    ASSERT_EQ(pack({"-o", "option.exe", "-p", "from-file", "tree"}).exitCode, 0);
    ASSERT_EQ(pack({"-o", "file.exe", "--password-file", "pw.txt", "tree"}).exitCode, 0);
    const RunResult fromEnvironment = runShell("BVSFX_PASSWORD=from-file " + quote(BVSFX_TOOL_PATH) +
                                               " pack --stub stub -o env.exe tree");
    ASSERT_EQ(fromEnvironment.exitCode, 0) << describe(fromEnvironment);
    EXPECT_NE(fromEnvironment.err.find("BVSFX_PASSWORD"), std::string::npos) << "the user is told";
    EXPECT_EQ(readBytes(scratch / "file.exe"), readBytes(scratch / "option.exe"));
    EXPECT_EQ(readBytes(scratch / "env.exe"), readBytes(scratch / "option.exe"));
}

TEST_F(PackCommandTest, FailedPackLeavesTheOldOutputAlone) {
    writeText(scratch / "keep.exe", "previous installer");
    // Reading /proc/self/mem from offset 0 fails (nothing is mapped there):
    // an input that breaks while its data is read.
    const RunResult result = pack({"-o", "keep.exe", "tree", "/proc/self/mem"});
    EXPECT_EQ(result.exitCode, kExitInput) << describe(result);
    EXPECT_NE(result.err.find("cannot read /proc/self/mem"), std::string::npos) << result.err;
    EXPECT_TRUE(readText(scratch / "keep.exe") == "previous installer");
    EXPECT_FALSE(fs::exists(scratch / "keep.exe.bvsfx-partial"));
}

TEST_F(PackCommandTest, UnreadableInputsAreRefused) {
    writeText(scratch / "locked" / "secret.txt", "s");
    fs::permissions(scratch / "locked" / "secret.txt", fs::perms::none);
    fs::create_directories(scratch / "locked" / "closed");
    writeText(scratch / "locked" / "closed" / "x", "x");
    fs::permissions(scratch / "locked" / "closed", fs::perms::owner_write);
    fs::create_directories(scratch / "outdir");
    fs::permissions(scratch / "outdir", fs::perms::all);
    fs::permissions(scratch, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::copy_file(scratch / "stub", scratch / "outdir" / "stub");
    // As root every file is readable: drop to an unprivileged user.
    std::string prefix;
    if (::geteuid() == 0) {
        ASSERT_TRUE(fs::exists("/usr/bin/setpriv")) << "install util-linux (setpriv) to run this test as root";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const RunResult result = runShell(prefix + quote(BVSFX_TOOL_PATH) + " pack -q --stub outdir/stub -o outdir/x.exe locked");
    EXPECT_EQ(result.exitCode, kExitInput) << describe(result);
    EXPECT_NE(result.err.find("secret.txt: cannot be read"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("closed: cannot"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(scratch / "outdir" / "x.exe"));
}

TEST_F(PackCommandTest, NamesTooLongForTheInstallerAreWarnedAbout) {
    fs::path deep = scratch / "deep";
    for (int i = 0; i < 4; ++i) deep /= std::string(200, char('a' + i));
    writeText(deep / "f.txt", "deep");
    const RunResult result = pack({"-o", "deep.exe", "deep"});
    EXPECT_EQ(result.exitCode, kExitOk) << describe(result);
    EXPECT_NE(result.err.find("too long for the installer"), std::string::npos) << result.err;
}

// A Windows installer cannot create every name Linux can: warned about when
// the stub is a Windows program (a bare PE header is enough here).
TEST_F(PackCommandTest, NamesWindowsCannotCreateAreWarnedAboutForWindowsStubs) {
    Bytes pe(0x200, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3C] = 0x40;
    const uint8_t signature[] = {'P', 'E', 0, 0, 0x4C, 0x01};
    std::copy(std::begin(signature), std::end(signature), pe.begin() + 0x40);
    pe[0x40 + 24 + 68] = 2;  // GUI subsystem
    writeBytes(scratch / "win.exe", pe);
    writeText(scratch / "names" / "what?.txt", "1");
    writeText(scratch / "names" / "README", "2");
    writeText(scratch / "names" / "readme", "3");
    const RunResult windows = bvsfx({"pack", "-q", "--stub", "win.exe", "-o", "w.exe", "names"});
    EXPECT_EQ(windows.exitCode, 0) << describe(windows);
    EXPECT_NE(windows.err.find("what?.txt: the character ? is not allowed"), std::string::npos) << windows.err;
    EXPECT_NE(windows.err.find("README and readme are one file on Windows"), std::string::npos) << windows.err;
    const RunResult linux = pack({"-o", "l.exe", "names"});
    EXPECT_EQ(linux.exitCode, 0) << describe(linux);
    EXPECT_EQ(linux.err, "");
}

TEST_F(PackCommandTest, HelpVersionAndUnknownCommand) {
    const RunResult help = bvsfx({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Exit codes:"), std::string::npos);
    const RunResult packHelp = bvsfx({"pack", "--help"});
    EXPECT_EQ(packHelp.exitCode, 0);
    EXPECT_NE(packHelp.out.find("--key-bits 128|192|256"), std::string::npos);
    const RunResult version = bvsfx({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("bvsfx ", 0), 0u);
    EXPECT_EQ(bvsfx({"frobnicate"}).exitCode, kExitUsage);
    EXPECT_EQ(bvsfx({}).exitCode, kExitUsage);
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
