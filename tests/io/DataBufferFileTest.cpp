// DataBuffer's whole-file loads (defined in the file layer): sizes, the zero
// tail, the wide open for names outside the ANSI page, and the log entries
// of a failed open.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "support/TestSupport.h"

namespace {

using test_support::RecordingLog;

std::vector<uint8_t> contentOf(const DataBuffer& db) {
    const uint8_t* p = db.getData();
    return p ? std::vector<uint8_t>(p, p + db.getSize()) : std::vector<uint8_t>();
}

std::string utf8Of(const std::filesystem::path& p) {
    const std::u8string text = p.u8string();
    return std::string(text.begin(), text.end());
}

// A scratch folder whose files are named in UTF-8.
class Folder {
public:
    std::string write(const std::string& name, const std::string& bytes) const {
        const std::filesystem::path file = m_scratch.path() / std::filesystem::u8path(name);
        test_support::writeFileBytes(file, test_support::Bytes(bytes.begin(), bytes.end()));
        return utf8Of(file);
    }
    std::string pathOf(const std::string& name) const { return utf8Of(m_scratch.path() / std::filesystem::u8path(name)); }

private:
    test_support::ScratchFolder m_scratch{"databuffer"};
};

}  // namespace

TEST(DataBufferTest, LoadFileAnsiEmptyAndSmallFiles) {
    Folder folder;
    DataBuffer db;
    db.append("previous", 8);

    ASSERT_TRUE(db.loadFileAnsi(folder.write("empty.bin", "").c_str(), nullptr));
    EXPECT_EQ(db.getSize(), 0u);
    EXPECT_EQ(db.getData(), nullptr);

    ASSERT_TRUE(db.loadFileAnsi(folder.write("three.bin", "xyz").c_str(), nullptr));
    ASSERT_EQ(db.getSize(), 3u);
    EXPECT_EQ(db.getCapacity(), 7u);
    EXPECT_EQ(0, std::memcmp(db.getData(), "xyz\0\0\0\0", 7));

    // A larger file with every byte value, read in one call.
    std::string all;
    for (int i = 0; i < 70000; ++i)
        all.push_back(static_cast<char>(i * 7));
    LogNull quiet;
    ASSERT_TRUE(db.loadFileAnsi(folder.write("all.bin", all).c_str(), &quiet));
    ASSERT_EQ(db.getSize(), all.size());
    EXPECT_EQ(0, std::memcmp(db.getData(), all.data(), all.size()));
}

TEST(DataBufferTest, LoadFileUtf8WithNonAnsiNameUsesTheWideOpen) {
    Folder folder;
    // CJK characters are outside every single-byte ANSI page.
    const std::string path = folder.write("\xE4\xB8\x80-\xC3\xA9.txt", "hello");
    DataBuffer db;
    ASSERT_TRUE(db.loadFileUtf8(path.c_str(), nullptr));
    EXPECT_EQ(contentOf(db), (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(db.getCapacity(), 9u);
}

TEST(DataBufferTest, LoadFileFailureLogsTheOpenEntries) {
    Folder folder;
    const std::string missing = folder.pathOf("missing.bin");
    DataBuffer db;
    db.append("old", 3);
    RecordingLog log;
    EXPECT_FALSE(db.loadFileAnsi(missing.c_str(), &log));
    EXPECT_EQ(db.getSize(), 0u);
    EXPECT_EQ(db.getData(), nullptr);
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "E:Failed to open file (2)");
    EXPECT_EQ(lines[1], "D:filename=" + missing);
    EXPECT_EQ(lines[2].rfind("D:osErrorInfo=", 0), 0u);
    EXPECT_GT(lines[2].size(), std::string("D:osErrorInfo=").size());

    // A null log and a LogNull give the same result.
    LogNull quiet;
    EXPECT_FALSE(db.loadFileAnsi(missing.c_str(), nullptr));
    EXPECT_FALSE(db.loadFileAnsi(missing.c_str(), &quiet));
    EXPECT_FALSE(db.loadFileUtf8(missing.c_str(), nullptr));
}
