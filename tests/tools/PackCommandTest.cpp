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
    ASSERT_EQ(pack({"-o", "c.exe", "-j", "1", "-p", "pw", "--classic-encryption", "tree"}).exitCode, 0);
    ASSERT_EQ(pack({"-o", "d.exe", "-j", "3", "-p", "pw", "--classic-encryption", "tree"}).exitCode, 0);
    EXPECT_EQ(readBytes(scratch / "c.exe"), readBytes(scratch / "d.exe"));
    EXPECT_NE(readBytes(scratch / "a.exe"), readBytes(scratch / "c.exe"));
}

// The strong mode draws a new salt and new IVs each time: same size, other
// bytes, and each output (its codes added in payload order while several
// threads encipher) opens and tests sound.
TEST_F(PackCommandTest, StrongEncryptionIsNotByteReproducible) {
    ASSERT_EQ(pack({"-o", "e.exe", "-j", "1", "-p", "pw", "--kdf-iterations", "1000", "tree"}).exitCode, 0);
    ASSERT_EQ(pack({"-o", "f.exe", "-j", "3", "-p", "pw", "--kdf-iterations", "1000", "tree"}).exitCode, 0);
    const Bytes e = readBytes(scratch / "e.exe");
    const Bytes f = readBytes(scratch / "f.exe");
    EXPECT_EQ(e.size(), f.size());
    EXPECT_NE(e, f);
    for (const char* installer : {"e.exe", "f.exe"}) {
        const RunResult tested = runShell(quote(BVSFX_TOOL_PATH) + " test -q -p pw " + installer);
        EXPECT_EQ(tested.exitCode, 0) << installer << ": " << describe(tested);
        const RunResult info = runShell(quote(BVSFX_TOOL_PATH) + " info " + installer);
        EXPECT_NE(info.out.find("PBKDF2-HMAC-SHA256, 1000 iterations"), std::string::npos) << info.out;
    }
}

// Writing the output must never destroy what is packed: an output that is
// an input (also through a link), lies inside an input folder, or is the
// stub or the password file is refused before anything is written.
TEST_F(PackCommandTest, OutputThatWouldDestroyAnInputIsRefused) {
    writeText(scratch / "solo.txt", "the only copy");
    writeText(scratch / "pw.txt", "secret\n");
    fs::create_symlink("solo.txt", scratch / "solo-link");
    struct Case {
        const char* label;
        std::vector<std::string> args;  // after "pack -q --stub stub"
        const char* message;
    } cases[] = {
        {"output is the input", {"-o", "solo.txt", "solo.txt"}, "-o solo.txt is the input solo.txt"},
        {"output is the input through a link", {"-o", "solo-link", "solo.txt"}, "is the input solo.txt"},
        {"output is a file of the input folder", {"-o", "tree/docs/guide.txt", "tree"}, "lies inside the input folder tree"},
        {"output would be new in the input folder", {"-o", "tree/setup.exe", "tree"}, "lies inside the input folder"},
        {"output inside one of several inputs", {"-o", "tree/docs/../x.exe", "solo.txt", "tree"}, "lies inside the input folder"},
        {"output is the stub", {"-o", "stub", "solo.txt"}, "-o stub is the stub"},
        {"output is the password file", {"-o", "pw.txt", "--password-file", "pw.txt", "solo.txt"}, "is the password file"},
        {"output is a folder", {"-o", "tree", "solo.txt"}, "is a folder"},
    };
    const Bytes stub = readBytes(scratch / "stub");
    const Bytes guide = readBytes(scratch / "tree" / "docs" / "guide.txt");
    for (const Case& c : cases) {
        const RunResult result = pack(c.args);
        EXPECT_EQ(result.exitCode, kExitUsage) << c.label << ": " << describe(result);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.label << ": " << result.err;
        EXPECT_EQ(readText(scratch / "solo.txt"), "the only copy") << c.label;
        EXPECT_EQ(readText(scratch / "pw.txt"), "secret\n") << c.label;
        EXPECT_EQ(readBytes(scratch / "stub"), stub) << c.label;
        EXPECT_EQ(readBytes(scratch / "tree" / "docs" / "guide.txt"), guide) << c.label;
        EXPECT_FALSE(fs::exists(scratch / "tree" / "setup.exe")) << c.label;
        EXPECT_FALSE(fs::exists(scratch / "tree" / "x.exe")) << c.label;
    }
}

// The temporary file is always a new one: a file or a link already under
// its name is neither truncated nor followed, and the output still comes.
TEST_F(PackCommandTest, TemporaryOutputIsAlwaysANewFile) {
    writeText(scratch / "victim.txt", "keep me");
    fs::create_symlink(scratch / "victim.txt", scratch / "o.exe.bvsfx-partial");
    writeText(scratch / "o.exe.bvsfx-partial-1", "a leftover of someone else");
    const RunResult result = pack({"-o", "o.exe", "tree"});
    ASSERT_EQ(result.exitCode, 0) << describe(result);
    EXPECT_EQ(readText(scratch / "victim.txt"), "keep me");
    EXPECT_EQ(readText(scratch / "o.exe.bvsfx-partial-1"), "a leftover of someone else");
    EXPECT_TRUE(fs::is_symlink(scratch / "o.exe.bvsfx-partial"));
    EXPECT_FALSE(fs::exists(scratch / "o.exe.bvsfx-partial-2"));
    EXPECT_EQ(bvsfx({"test", "-q", "o.exe"}).exitCode, 0);
}

// A file whose size changes while it is read (here a file of /proc, which
// the walk sees as empty and which then yields bytes) is not packed unless
// asked for; then it is packed as read, with a warning.
TEST_F(PackCommandTest, FileThatChangesWhileReadFailsThePack) {
    const RunResult refused = pack({"-o", "c.exe", "tree", "/proc/self/status"});
    EXPECT_EQ(refused.exitCode, kExitInput) << describe(refused);
    EXPECT_NE(refused.err.find("/proc/self/status: changed while it was read (0 bytes when the inputs were listed"),
              std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(scratch / "c.exe"));
    EXPECT_FALSE(fs::exists(scratch / "c.exe.bvsfx-partial"));

    const RunResult allowed = pack({"-o", "c.exe", "--allow-changing", "tree", "/proc/self/status"});
    EXPECT_EQ(allowed.exitCode, 0) << describe(allowed);
    EXPECT_NE(allowed.err.find("warning: /proc/self/status: changed while it was read"), std::string::npos)
        << allowed.err;
    EXPECT_NE(allowed.err.find("packed as it was read"), std::string::npos) << allowed.err;
    ASSERT_EQ(bvsfx({"extract", "-q", "c.exe", "-C", "out"}).exitCode, 0);
    EXPECT_NE(readText(scratch / "out" / "status").find("Name:"), std::string::npos);

    const RunResult strict = pack({"-o", "s.exe", "--allow-changing", "--strict", "tree", "/proc/self/status"});
    EXPECT_EQ(strict.exitCode, kExitInput) << describe(strict);
    EXPECT_FALSE(fs::exists(scratch / "s.exe"));
}

TEST_F(PackCommandTest, UncreatableOutputNamesTheReason) {
    const RunResult result = pack({"-o", "no-such-folder/o.exe", "tree"});
    EXPECT_EQ(result.exitCode, kExitOutput) << describe(result);
    EXPECT_NE(result.err.find("cannot create " + (scratch / "no-such-folder" / "o.exe.bvsfx-partial").string() +
                              ": No such file or directory"),
              std::string::npos)
        << result.err;
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
    writeText(scratch / "latin1" / "caf\xE9", "Latin-1 name");
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
        {"key bits with a password", {"--stub", "stub", "-o", "w7", "-p", "a", "--key-bits", "128", "tree"}, kExitOk, ""},
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
        {"silent without folder", {"--stub", "stub", "-o", "x", "--silent", "tree"}, kExitUsage, "--silent needs --dir or --temp"},
        {"silent by --set without folder", {"--stub", "stub", "-o", "x", "--set", "noInterface=TRUE", "tree"}, kExitUsage, "--silent needs --dir or --temp"},
        {"key bits without password", {"--stub", "stub", "-o", "x", "--key-bits", "128", "tree"}, kExitUsage, "--key-bits without a password"},
        {"classic without password", {"--stub", "stub", "-o", "x", "--classic-encryption", "tree"}, kExitUsage, "--classic-encryption without a password"},
        {"iterations without password", {"--stub", "stub", "-o", "x", "--kdf-iterations", "5000", "tree"}, kExitUsage, "--kdf-iterations without a password"},
        {"iterations below the minimum", {"--stub", "stub", "-o", "x", "-p", "a", "--kdf-iterations", "999", "tree"}, kExitUsage, "1000 to 10000000"},
        {"iterations above the maximum", {"--stub", "stub", "-o", "x", "-p", "a", "--kdf-iterations", "10000001", "tree"}, kExitUsage, "1000 to 10000000"},
        {"iterations in the classic mode", {"--stub", "stub", "-o", "x", "-p", "a", "--classic-encryption", "--kdf-iterations", "5000", "tree"}, kExitUsage, "the classic mode has none"},
        {"classic warns", {"--stub", "stub", "-o", "w8", "-p", "a", "--classic-encryption", "tree"}, kExitOk, "warning: --classic-encryption is weak"},
        {"unknown setting", {"--stub", "stub", "-o", "w4", "--set", "unzipdir=C:\\x", "tree"}, kExitOk, "warning: setting unzipdir: the installer reads no setting of that name (names are case-sensitive) (did you mean unzipDir?)"},
        {"flag read as off", {"--stub", "stub", "-o", "w5", "--set", "noInterface=yes", "tree"}, kExitOk, "warning: setting noInterface=yes: the installer takes only \"true\""},
        {"strict turns a warning into an error", {"--stub", "stub", "-o", "x", "--strict", "--set", "unzipdir=y", "tree"}, kExitLimits, "--strict: 1 warning, so nothing was written"},
        {"strict and the setup program", {"--stub", "stub", "-o", "x", "--strict", "--setup", "setup.exe", "tree"}, kExitLimits, "--strict: 1 warning"},
        {"folder too long", {"--stub", "stub", "-o", "x", "--dir", "/" + std::string(821, 'd'), "tree"}, kExitLimits, "--dir is 822 bytes long"},
        {"folder too long with placeholder", {"--stub", "stub", "-o", "x", "--dir", "%TEMP%/" + std::string(799, 'd'), "tree"}, kExitLimits, "--dir is at least 801 bytes long"},
        {"folder that fits", {"--stub", "stub", "-o", "w6", "--dir", "%temp%/" + std::string(792, 'd'), "tree"}, kExitOk, ""},
        {"setup not packed", {"--stub", "stub", "-o", "w2", "--setup", "setup.exe", "tree"}, kExitOk, "warning: the setup program setup.exe is not among"},
        {"name not UTF-8", {"--stub", "stub", "-o", "x", "latin1"}, kExitLimits, "not valid UTF-8"},
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

// The classic mode is reproducible, so the three sources must give the same
// bytes; the strong mode is not (random salt and IVs), so each installer
// must open with the password.
TEST_F(PackCommandTest, PasswordSourcesGiveTheSameInstaller) {
    writeText(scratch / "pw.txt", "from-file\r\nsecond line ignored\n");
    for (const char* mode : {"--classic-encryption", "--kdf-iterations=1000"}) {
        ASSERT_EQ(pack({"-o", "option.exe", "-p", "from-file", mode, "tree"}).exitCode, 0);
        ASSERT_EQ(pack({"-o", "file.exe", "--password-file", "pw.txt", mode, "tree"}).exitCode, 0);
        const RunResult fromEnvironment = runShell("BVSFX_PASSWORD=from-file " + quote(BVSFX_TOOL_PATH) +
                                                   " pack --stub stub " + mode + " -o env.exe tree");
        ASSERT_EQ(fromEnvironment.exitCode, 0) << describe(fromEnvironment);
        EXPECT_NE(fromEnvironment.err.find("BVSFX_PASSWORD"), std::string::npos) << "the user is told";
        if (std::string(mode) == "--classic-encryption") {
            EXPECT_NE(fromEnvironment.err.find("--classic-encryption is weak"), std::string::npos) << fromEnvironment.err;
            EXPECT_EQ(readBytes(scratch / "file.exe"), readBytes(scratch / "option.exe"));
            EXPECT_EQ(readBytes(scratch / "env.exe"), readBytes(scratch / "option.exe"));
            continue;
        }
        EXPECT_NE(readBytes(scratch / "file.exe"), readBytes(scratch / "option.exe")) << "a random salt";
        for (const char* installer : {"option.exe", "file.exe", "env.exe"}) {
            const RunResult tested = runShell(quote(BVSFX_TOOL_PATH) + " test -q -p from-file " + installer);
            EXPECT_EQ(tested.exitCode, 0) << installer << ": " << describe(tested);
        }
    }
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

// The installer makes a name's folders in an 800-byte work area and stops
// at a name of 800 bytes or more: such names are refused, 799 bytes pass.
TEST_F(PackCommandTest, NamesLongerThanTheInstallerTakesAreRefused) {
    const std::string folders = std::string(200, 'a') + "/" + std::string(200, 'b') + "/" + std::string(200, 'c') + "/" +
                                std::string(190, 'd');
    writeText(scratch / "fits" / folders / "f.txt", "799");    // 793 + 1 + 5 bytes
    writeText(scratch / "long" / folders / "f2.txt", "800");
    writeText(scratch / "long" / folders / "ok", "short enough");
    const RunResult fits = pack({"-o", "fits.exe", "fits"});
    EXPECT_EQ(fits.exitCode, kExitOk) << describe(fits);
    const RunResult refused = pack({"-o", "long.exe", "long"});
    EXPECT_EQ(refused.exitCode, kExitLimits) << describe(refused);
    EXPECT_NE(refused.err.find("f2.txt: its name in the installer is 800 bytes long; the installer takes names of at "
                               "most 799 bytes"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.err.find("/ok:"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(scratch / "long.exe"));
}

// A Windows installer cannot create every name Linux can: for a Windows stub
// (a bare PE header is enough here) every such name is refused, each named,
// and so is every pair of names that Windows takes for one file.
TEST_F(PackCommandTest, NamesWindowsCannotCreateAreRefusedForWindowsStubs) {
    writeBytes(scratch / "win.exe", peStub());
    const char* const refusedNames[] = {"what?.txt", "CON", "nul/inside.txt", "Aux.tar.gz", "com\xC2\xB9.log",
                                        "trailing dot.", "trailing space ", "lpt9 .txt"};
    for (const char* name : refusedNames) writeText(scratch / "names" / name, "x");
    writeText(scratch / "names" / "README", "2");
    writeText(scratch / "names" / "readme", "3");
    writeText(scratch / "names" / "\xC3\x89t\xC3\xA9.txt", "4");  // Été.txt
    writeText(scratch / "names" / "\xC3\xA9T\xC3\x89.txt", "5");  // éTÉ.txt
    writeText(scratch / "names" / "stra\xC3\x9F" "e", "6");         // straße and STRASSE differ
    writeText(scratch / "names" / "STRASSE", "7");
    writeText(scratch / "names" / "console.txt", "8");
    const RunResult windows = bvsfx({"pack", "-q", "--stub", "win.exe", "-o", "w.exe", "names"});
    EXPECT_EQ(windows.exitCode, kExitLimits) << describe(windows);
    EXPECT_FALSE(fs::exists(scratch / "w.exe"));
    for (const std::string expected :
         {"what?.txt: the character ? is not allowed", "CON: \"CON\" is a device name", "nul: \"nul\" is a device name",
          "Aux.tar.gz: \"Aux.tar.gz\" is a device name", "com\xC2\xB9.log: \"com\xC2\xB9.log\" is a device name",
          "trailing dot.: Windows drops a dot or space", "lpt9 .txt: \"lpt9 .txt\" is a device name",
          "README and readme are one file on Windows",
          "\xC3\x89t\xC3\xA9.txt and \xC3\xA9T\xC3\x89.txt are one file on Windows"}) {
        EXPECT_NE(windows.err.find(expected), std::string::npos) << expected << "\n" << windows.err;
    }
    EXPECT_NE(windows.err.find("trailing space : Windows drops"), std::string::npos) << windows.err;
    EXPECT_EQ(windows.err.find("STRASSE and"), std::string::npos) << windows.err;
    EXPECT_EQ(windows.err.find("console.txt:"), std::string::npos) << windows.err;
    const RunResult linux = pack({"-o", "l.exe", "names"});
    EXPECT_EQ(linux.exitCode, 0) << describe(linux);
    EXPECT_EQ(linux.err, "");

    // Windows enters a folder of at most 258 characters (MAX_PATH - 2).
    std::string folder = "C:\\";
    for (int i = 0; i < 256; ++i) folder += "\xC3\xA9";  // 259 characters in 515 bytes
    const RunResult tooDeep = bvsfx({"pack", "-q", "--stub", "win.exe", "-o", "d.exe", "--dir", folder, "tree"});
    EXPECT_EQ(tooDeep.exitCode, kExitLimits) << describe(tooDeep);
    EXPECT_NE(tooDeep.err.find("--dir is 259 characters long; Windows cannot enter a folder of more than 258"),
              std::string::npos) << tooDeep.err;
    folder.resize(folder.size() - 2);
    EXPECT_EQ(bvsfx({"pack", "-q", "--stub", "win.exe", "-o", "d.exe", "--dir", folder, "tree"}).exitCode, 0);
    EXPECT_EQ(pack({"-o", "d2.exe", "--dir", folder + "\xC3\xA9\xC3\xA9", "tree"}).exitCode, 0) << "a Linux stub";
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
