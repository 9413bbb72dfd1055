// `bvsfx extract`: round trips of a varied tree through pack and extract
// for every level and key length, and the refusals that keep an installer
// from writing outside the folder it is extracted into.
#ifdef BVSFX_TOOL_PATH

#include <fcntl.h>

#include "ToolTestSupport.h"
#include "TreeCompare.h"
#include "io/OutputDataBuffer.h"
#include "payload/PayloadWriter.h"
#include "tools/bvsfx/ExitCode.h"

namespace {

using namespace tool_test;

constexpr uint64_t kUnixEpochFileTime = 0x019DB1DED53E8000ull;

class ExtractCommandTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        Bytes stub(64, 0);
        const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
        std::copy(std::begin(ident), std::end(ident), stub.begin());
        stub[18] = 0x3E;
        writeBytes(scratch / "stub", stub);
    }

    // Nested folders, an empty folder and file, a file over one chunk of
    // noise, a compressible file, names outside ASCII, a read-only file,
    // times with sub-second parts.
    void makeTree(const fs::path& root) {
        writeBytes(root / "noise.bin", noise(2 * 1024 * 1024 + 4321, 1));
        writeBytes(root / "text" / "long.txt", text(3 * 1024 * 1024, 2));
        writeBytes(root / "text" / "deeper" / "still" / "leaf.txt", text(10, 3));
        writeText(root / "empty.txt", "");
        fs::create_directories(root / "empty-folder");
        writeText(root / "caf\xC3\xA9" / "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", "non-ASCII names");
        writeText(root / "\xE2\x82\xAC \xCE\xA9 \xEF\xBF\xBD.txt", "three-byte UTF-8 up to U+FFFD");
        writeText(root / "read-only.txt", "do not touch");
        fs::permissions(root / "read-only.txt", fs::perms::owner_read | fs::perms::group_read);
        int64_t seconds = 1234567890;
        for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
            setTime(it->path(), seconds, 123456700);
            seconds += 3600;
        }
        setTime(root, seconds, 0);
    }
};

TEST_F(ExtractCommandTest, RoundTripsForEveryLevelAndKeyLength) {
    makeTree(scratch / "tree");
    struct Case {
        const char* label;
        std::vector<std::string> options;
    } cases[] = {
        {"level 0", {"--level", "0"}},
        {"level 1", {"--level", "1"}},
        {"level 6", {}},
        {"level 9", {"--level", "9"}},
        {"level 10", {"--level", "10"}},
        {"level max (12)", {"--level", "max"}},
        {"AES-128", {"-p", "pw", "--key-bits", "128", "--kdf-iterations", "1000"}},
        {"AES-192", {"-p", "pw", "--key-bits", "192", "--kdf-iterations", "1000"}},
        {"AES-256 level 9", {"-p", "p\xC3\xA4ssw\xC3\xB6rd", "--level", "9", "--kdf-iterations", "1000"}},
        {"AES-128 classic", {"-p", "pw", "--key-bits", "128", "--classic-encryption"}},
        {"AES-256 classic", {"-p", "pw", "--classic-encryption"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> pack = {"pack", "-q", "--stub", "stub", "-o", "i.exe", "tree"};
        pack.insert(pack.end(), c.options.begin(), c.options.end());
        const RunResult packed = bvsfx(pack);
        ASSERT_EQ(packed.exitCode, 0) << c.label << ": " << describe(packed);
        fs::remove_all(scratch / "out");
        std::vector<std::string> extract = {"extract", "-q", "i.exe", "-C", "out"};
        if (c.options.size() >= 2 && c.options[0] == "-p") extract.insert(extract.end(), {"-p", c.options[1]});
        const RunResult extracted = bvsfx(extract);
        ASSERT_EQ(extracted.exitCode, 0) << c.label << ": " << describe(extracted);
        EXPECT_EQ(compareTrees(scratch / "tree", scratch / "out", true), "") << c.label;
        const RunResult tested = bvsfx({"test", "-q", "i.exe", "--password", c.options.size() >= 2 ? c.options[1] : ""});
        EXPECT_EQ(tested.exitCode, 0) << c.label << ": " << describe(tested);
    }
}

TEST_F(ExtractCommandTest, KeepRootAndSeveralInputs) {
    writeText(scratch / "app" / "bin" / "run.sh", "#!/bin/sh\n");
    writeText(scratch / "notes.txt", "notes");
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "k.exe", "--keep-root", "app"}).exitCode, 0);
    ASSERT_EQ(bvsfx({"extract", "-q", "k.exe", "-C", "k"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(scratch / "k" / "app" / "bin" / "run.sh"));
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "m.exe", "app", "notes.txt"}).exitCode, 0);
    ASSERT_EQ(bvsfx({"extract", "-q", "m.exe", "-C", "m"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(scratch / "m" / "app" / "bin" / "run.sh"));
    EXPECT_EQ(readText(scratch / "m" / "notes.txt"), "notes");
}

// An installer made by hand with names that point outside the folder.
TEST_F(ExtractCommandTest, NamesThatLeaveTheFolderAreSkipped) {
    fs::create_directories(scratch / "out");
    fs::create_directories(scratch / "elsewhere");
    fs::create_directory_symlink(scratch / "elsewhere", scratch / "out" / "link");
    writeText(scratch / "elsewhere" / "victim.txt", "original");
    fs::create_symlink(scratch / "elsewhere" / "victim.txt", scratch / "out" / "replace-me.txt");

    DataBuffer payload;
    OutputDataBuffer output(&payload);
    PayloadWriter writer(output);
    ASSERT_TRUE(writer.writeHeader() && writer.endSettings());
    const char* names[] = {"../evil.txt", "/abs.txt", "C:/drive.txt", "ok/../../evil2.txt",
                           "link/victim.txt", "link\\sub\\x.txt", "good/file.txt", "replace-me.txt"};
    for (const char* name : names) {
        ASSERT_TRUE(writer.beginFile(name, kUnixEpochFileTime, 0x20));
        ASSERT_TRUE(writer.writeStoredChunk("pwned", 5));
        ASSERT_TRUE(writer.endFile());
    }
    ASSERT_TRUE(writer.writeDirectory("../evil-dir", kUnixEpochFileTime, 0x10));
    ASSERT_TRUE(writer.writeEnd());
    Bytes installer = readBytes(scratch / "stub");
    installer.insert(installer.end(), payload.getData(), payload.getData() + payload.getSize());
    writeBytes(scratch / "bad.exe", installer);

    const RunResult result = bvsfx({"extract", "-q", "bad.exe", "-C", "out"});
    EXPECT_EQ(result.exitCode, kExitUnsafeName) << describe(result);
    for (const char* refused : {"../evil.txt", "/abs.txt", "C:/drive.txt", "ok/../../evil2.txt", "link/victim.txt",
                                "link\\sub\\x.txt", "../evil-dir"}) {
        EXPECT_NE(result.err.find(std::string("skipped \"") + refused + "\""), std::string::npos)
            << refused << "\n" << result.err;
    }
    EXPECT_EQ(readText(scratch / "out" / "good" / "file.txt"), "pwned");
    // The link in the way is replaced by the file, never followed.
    EXPECT_FALSE(fs::is_symlink(scratch / "out" / "replace-me.txt"));
    EXPECT_EQ(readText(scratch / "out" / "replace-me.txt"), "pwned");
    EXPECT_EQ(readText(scratch / "elsewhere" / "victim.txt"), "original");
    EXPECT_FALSE(fs::exists(scratch / "evil.txt"));
    EXPECT_FALSE(fs::exists(scratch / "evil2.txt"));
    EXPECT_FALSE(fs::exists(scratch / "evil-dir"));
    EXPECT_FALSE(fs::exists("/abs.txt"));
    EXPECT_FALSE(fs::exists(scratch / "elsewhere" / "sub"));
}

TEST_F(ExtractCommandTest, ReplacesReadOnlyFilesAndReportsDamage) {
    const Bytes data = noise(5000, 4);
    writeBytes(scratch / "tree" / "data.bin", data);
    writeText(scratch / "tree" / "other.txt", "other");
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "d.exe", "tree"}).exitCode, 0);
    writeText(scratch / "out" / "data.bin", "old, read-only");
    fs::permissions(scratch / "out" / "data.bin", fs::perms::owner_read);
    ASSERT_EQ(bvsfx({"extract", "-q", "d.exe", "-C", "out"}).exitCode, 0);
    EXPECT_EQ(readBytes(scratch / "out" / "data.bin"), data);

    // One byte of the stored chunk changed: extracted as it decodes, and
    // reported.
    Bytes installer = readBytes(scratch / "d.exe");
    const Bytes needle(data.begin() + 100, data.begin() + 116);
    auto it = std::search(installer.begin(), installer.end(), needle.begin(), needle.end());
    ASSERT_NE(it, installer.end());
    *it ^= 0x40;
    writeBytes(scratch / "d.exe", installer);
    const RunResult result = bvsfx({"extract", "-q", "d.exe", "-C", "damaged"});
    EXPECT_EQ(result.exitCode, kExitDamaged) << describe(result);
    EXPECT_NE(result.err.find("data.bin: its content differs from its check record"), std::string::npos) << result.err;
    EXPECT_EQ(readText(scratch / "damaged" / "other.txt"), "other");
}

// Every file is written under a temporary name and renamed over the old one
// only when complete: a full disk (a file-size limit here), a payload cut
// short inside a file, or a link planted at the temporary name leave the
// old file as it was and no temporary file behind.
TEST_F(ExtractCommandTest, FailuresLeaveTheOldFileAsItWas) {
    const Bytes data = noise(1024 * 1024, 5);
    writeBytes(scratch / "tree" / "big.bin", data);
    writeText(scratch / "tree" / "small.txt", "new small");
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "i.exe", "tree"}).exitCode, 0);
    const Bytes old = noise(600 * 1024, 6);
    auto leftovers = [this](const fs::path& folder) {
        std::vector<std::string> found;
        for (const auto& item : fs::directory_iterator(folder)) {
            if (item.path().string().find(".bvsfx-partial") != std::string::npos) found.push_back(item.path().string());
        }
        return found;
    };

    writeBytes(scratch / "full" / "big.bin", old);
    // 256 blocks of 512 bytes: the 1 MiB file cannot be written. SIGXFSZ is
    // ignored so that the write fails instead of ending the process.
    const RunResult full = runShell("trap '' XFSZ; ulimit -f 256; " + quote(BVSFX_TOOL_PATH) +
                                    " extract -q i.exe -C full");
    EXPECT_EQ(full.exitCode, kExitOutput) << describe(full);
    EXPECT_NE(full.err.find("big.bin: cannot write ("), std::string::npos) << full.err;
    EXPECT_NE(full.err.find("an old file of that name is left as it was"), std::string::npos) << full.err;
    EXPECT_EQ(readBytes(scratch / "full" / "big.bin"), old);
    EXPECT_EQ(leftovers(scratch / "full"), std::vector<std::string>());

    Bytes installer = readBytes(scratch / "i.exe");
    const Bytes needle(data.begin() + 500000, data.begin() + 500016);
    auto it = std::search(installer.begin(), installer.end(), needle.begin(), needle.end());
    ASSERT_NE(it, installer.end());
    installer.erase(it, installer.end());
    writeBytes(scratch / "cut.exe", installer);
    writeBytes(scratch / "cut" / "big.bin", old);
    const RunResult cut = bvsfx({"extract", "-q", "cut.exe", "-C", "cut"});
    EXPECT_EQ(cut.exitCode, kExitDamaged) << describe(cut);
    EXPECT_NE(cut.err.find("big.bin: not written, its data is cut short"), std::string::npos) << cut.err;
    EXPECT_EQ(readBytes(scratch / "cut" / "big.bin"), old);
    EXPECT_EQ(leftovers(scratch / "cut"), std::vector<std::string>());

    writeText(scratch / "victim.txt", "not to be touched");
    fs::create_directories(scratch / "planted");
    fs::create_symlink(scratch / "victim.txt", scratch / "planted" / "small.txt.bvsfx-partial");
    const RunResult planted = bvsfx({"extract", "-q", "i.exe", "-C", "planted"});
    EXPECT_EQ(planted.exitCode, kExitOk) << describe(planted);
    EXPECT_EQ(readText(scratch / "victim.txt"), "not to be touched");
    EXPECT_EQ(readText(scratch / "planted" / "small.txt"), "new small");
    EXPECT_EQ(readBytes(scratch / "planted" / "big.bin"), data);
    EXPECT_TRUE(fs::is_symlink(scratch / "planted" / "small.txt.bvsfx-partial"));
}

TEST_F(ExtractCommandTest, PasswordsAndCommandLine) {
    writeText(scratch / "tree" / "a.txt", "a");
    ASSERT_EQ(bvsfx({"pack", "-q", "--stub", "stub", "-o", "e.exe", "-p", "right", "tree"}).exitCode, 0);
    struct Case {
        const char* label;
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    } cases[] = {
        {"no password", {"extract", "e.exe", "-C", "x"}, kExitPassword, "the payload is encrypted"},
        {"wrong password", {"extract", "e.exe", "-C", "x", "-p", "wrong"}, kExitPassword, "incorrect password"},
        {"list needs it too", {"list", "e.exe"}, kExitPassword, "the payload is encrypted"},
        {"info does not", {"info", "e.exe"}, kExitOk, ""},
        {"missing file", {"test", "nope.exe"}, kExitInput, "nope.exe: no such file"},
        {"a device", {"list", "/dev/null"}, kExitInput, "/dev/null: is not a regular file (a device, pipe or socket)"},
        {"a folder", {"info", "."}, kExitInput, ".: is a folder, not an installer"},
        {"not an installer", {"test", "stub"}, kExitNotPayload, "no payload"},
        {"two files", {"list", "e.exe", "stub"}, kExitUsage, "exactly one FILE"},
        {"-C for extract only", {"list", "e.exe", "-C", "x"}, kExitUsage, "unknown option -C"},
    };
    for (const Case& c : cases) {
        const RunResult result = bvsfx(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.label << ": " << describe(result);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.label << ": " << result.err;
    }
    EXPECT_FALSE(fs::exists(scratch / "x" / "a.txt"));
    const RunResult right = runShell("BVSFX_PASSWORD=right " + quote(BVSFX_TOOL_PATH) + " extract -q e.exe -C y");
    EXPECT_EQ(right.exitCode, 0) << describe(right);
    EXPECT_EQ(readText(scratch / "y" / "a.txt"), "a");
}

// Unix modes and symbolic links survive pack and extract: execute bits,
// a private folder, links as links (a dangling one and a loop too); setuid
// is never set; a link leading out of the folder is refused.
TEST_F(ExtractCommandTest, ModesAndLinksRoundTrip) {
    const fs::path tree = scratch / "unix";
    writeText(tree / "bin" / "tool", "#!/bin/sh\necho tool\n");
    writeText(tree / "bin" / "suid", "x");
    writeText(tree / "lib" / "libx.so.1", "lib");
    writeText(tree / "secret" / "key", "k");
    fs::permissions(tree / "bin" / "tool", fs::perms(0755));
    fs::permissions(tree / "bin" / "suid", fs::perms(04755));
    fs::permissions(tree / "secret" / "key", fs::perms(0600));
    fs::permissions(tree / "secret", fs::perms(0700));
    fs::create_symlink("libx.so.1", tree / "lib" / "libx.so");
    fs::create_symlink("../lib/libx.so", tree / "bin" / "up-and-over");
    fs::create_symlink("missing", tree / "dangling");
    fs::create_symlink("loop-b", tree / "loop-a");
    fs::create_symlink("loop-a", tree / "loop-b");
    fs::create_symlink("/etc/hostname", tree / "absolute");
    fs::create_symlink("../../outside", tree / "lib" / "climbing");
    const RunResult packed = bvsfx({"pack", "-q", "--stub", "stub", "-o", "unix.exe", "unix"});
    ASSERT_EQ(packed.exitCode, kExitOk) << describe(packed);
    for (const char* warned : {"unix/absolute -> /etc/hostname: the link leads out", "unix/lib/climbing -> ../../outside"}) {
        EXPECT_NE(packed.err.find(warned), std::string::npos) << packed.err;
    }
    const RunResult listed = bvsfx({"list", "unix.exe"});
    EXPECT_NE(listed.out.find(" 0755           20           20  bin/tool\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(" 4755 "), std::string::npos) << "recorded as packed: " << listed.out;
    EXPECT_NE(listed.out.find("  lib/libx.so -> libx.so.1\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("7 links"), std::string::npos) << listed.out;
    EXPECT_EQ(bvsfx({"test", "-q", "unix.exe"}).exitCode, kExitOk);

    const mode_t previous = ::umask(022);
    const RunResult extracted = bvsfx({"extract", "-q", "-C", "out", "unix.exe"});
    ::umask(previous);
    EXPECT_EQ(extracted.exitCode, kExitUnsafeName) << describe(extracted);
    const fs::path out = scratch / "out";
    auto mode = [](const fs::path& path) { return unsigned(fs::symlink_status(path).permissions()) & 07777u; };
    EXPECT_EQ(mode(out / "bin" / "tool"), 0755u);
    EXPECT_EQ(mode(out / "bin" / "suid"), 0755u) << "setuid is never set";
    EXPECT_EQ(mode(out / "secret"), 0700u);
    EXPECT_EQ(mode(out / "secret" / "key"), 0600u);
    EXPECT_EQ(mode(out / "lib" / "libx.so.1"), 0644u);
    const std::pair<const char*, const char*> links[] = {{"lib/libx.so", "libx.so.1"},
                                                         {"bin/up-and-over", "../lib/libx.so"},
                                                         {"dangling", "missing"},
                                                         {"loop-a", "loop-b"},
                                                         {"loop-b", "loop-a"}};
    for (const auto& [name, target] : links) {
        ASSERT_TRUE(fs::is_symlink(out / name)) << name;
        EXPECT_EQ(fs::read_symlink(out / name), target) << name;
    }
    EXPECT_EQ(readText(out / "bin" / "up-and-over"), "lib");
    for (const char* refused : {"absolute", "lib/climbing"}) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(out / refused))) << refused;
        EXPECT_NE(extracted.err.find(std::string("skipped \"") + refused + "\": the link leads out of the folder"),
                  std::string::npos)
            << extracted.err;
    }

    // With --dereference the links are followed: a dangling one and a loop
    // stop the pack, each named for what it is.
    const RunResult followed = bvsfx({"pack", "-q", "--dereference", "--stub", "stub", "-o", "d.exe", "unix"});
    EXPECT_EQ(followed.exitCode, kExitInput) << describe(followed);
    EXPECT_NE(followed.err.find("unix/dangling: the link points nowhere"), std::string::npos) << followed.err;
    EXPECT_NE(followed.err.find("unix/loop-a: the link is a loop of links"), std::string::npos) << followed.err;
    EXPECT_FALSE(fs::exists(scratch / "d.exe"));
}

// With a password (the strong mode), the Unix records behind the end record
// are sealed like every other record: they come back as packed, and a byte
// changed among them is damage, found by test and by extract.
TEST_F(ExtractCommandTest, ModesAndLinksUnderThePassword) {
    const fs::path tree = scratch / "sealed";
    writeText(tree / "run.sh", "#!/bin/sh\n");
    fs::permissions(tree / "run.sh", fs::perms(0750));
    fs::create_symlink("run.sh", tree / "start");
    const RunResult packed = bvsfx({"pack", "-q", "--stub", "stub", "-p", "Sealed 1", "--kdf-iterations", "1000", "-o", "s.exe", "sealed"});
    ASSERT_EQ(packed.exitCode, kExitOk) << describe(packed);
    const RunResult listed = bvsfx({"list", "-p", "Sealed 1", "s.exe"});
    EXPECT_NE(listed.out.find("start -> run.sh"), std::string::npos) << listed.out;

    const mode_t previous = ::umask(022);
    const RunResult extracted = bvsfx({"extract", "-q", "-p", "Sealed 1", "-C", "out", "s.exe"});
    ::umask(previous);
    ASSERT_EQ(extracted.exitCode, kExitOk) << describe(extracted);
    EXPECT_EQ(unsigned(fs::status(scratch / "out" / "run.sh").permissions()) & 07777u, 0750u);
    ASSERT_TRUE(fs::is_symlink(scratch / "out" / "start"));
    EXPECT_EQ(fs::read_symlink(scratch / "out" / "start"), "run.sh");

    // The trailer is the last part of the file: every byte of its last 64
    // changed in turn is found.
    const Bytes sound = readBytes(scratch / "s.exe");
    for (size_t back = 1; back <= 64; back += 7) {
        SCOPED_TRACE(back);
        Bytes damaged = sound;
        damaged[damaged.size() - back] ^= 0x01;
        writeBytes(scratch / "d.exe", damaged);
        const RunResult tested = bvsfx({"test", "-q", "-p", "Sealed 1", "d.exe"});
        EXPECT_EQ(tested.exitCode, kExitDamaged) << describe(tested);
    }
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
