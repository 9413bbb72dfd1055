// Shared fixtures of the io tests: a log that records its entries, and a
// scratch folder that each test works in (made the current directory for the
// test and removed afterwards).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/LogBase.h"
#include "platform/win32.h"

namespace io_test {

enum class EntryKind { Error, Info, Data };

struct LogEntry {
  EntryKind kind;
  std::string tag;   // logData only
  std::string text;  // the message, or the value of logData
};

class RecordingLog : public LogBase {
 public:
  bool logError(const char* message) override {
    entries.push_back({EntryKind::Error, "", message != nullptr ? message : "(null)"});
    return true;
  }
  bool logInfo(const char* message) override {
    entries.push_back({EntryKind::Info, "", message != nullptr ? message : "(null)"});
    return true;
  }
  bool logData(const char* tag, const char* value) override {
    entries.push_back({EntryKind::Data, tag != nullptr ? tag : "(null)", value != nullptr ? value : "(null)"});
    return true;
  }

  // "E:text", "I:text" or "D:tag=value" for each entry, for whole-log
  // comparisons.
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (const LogEntry& entry : entries) {
      switch (entry.kind) {
        case EntryKind::Error: out.push_back("E:" + entry.text); break;
        case EntryKind::Info: out.push_back("I:" + entry.text); break;
        case EntryKind::Data: out.push_back("D:" + entry.tag + "=" + entry.text); break;
      }
    }
    return out;
  }

  std::vector<LogEntry> entries;
};

// The text the system gives for "file not found", as the file functions log
// it (trimmed). Only this platform's own layer has a fixed English text.
#ifdef _WIN32
constexpr bool kExactSystemTexts = false;
#else
constexpr bool kExactSystemTexts = true;
#endif

// True under Wine, whose file layer differs from Windows in two ways these
// tests meet: run as root it leaves read-only files writable (and hidden
// files replaceable), and it reports FILE_ATTRIBUTE_ARCHIVE on every file.
inline bool runningUnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedCwd_ = std::filesystem::current_path();
    std::random_device seed;
    const std::string name = "bvio_" + std::to_string(seed()) + "_" + std::to_string(seed());
    root_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(root_);
    root_ = std::filesystem::canonical(root_);
    std::filesystem::current_path(root_);
  }

  void TearDown() override {
    std::filesystem::current_path(savedCwd_);
    std::error_code ignored;
    // Read-only files would stop the removal on some systems.
    for (auto& entry : std::filesystem::recursive_directory_iterator(root_, ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(root_, ignored);
  }

  // The scratch folder as UTF-8 text, with the system's separators.
  std::string rootText() const { return pathText(root_); }

  static std::string pathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  }

  static void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  static void writeFile(const std::filesystem::path& path, const std::string& text) {
    writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
  }

  static std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path root_;

 private:
  std::filesystem::path savedCwd_;
};

}  // namespace io_test
