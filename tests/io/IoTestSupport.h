// Shared fixtures of the io tests: a log that records its entries, and a
// scratch folder that each test works in (made the current directory for the
// test and removed afterwards).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/LogBase.h"
#include "support/TestSupport.h"
#include "platform/win32.h"

namespace io_test {

using EntryKind = test_support::LogKind;
using test_support::LogEntry;
using test_support::RecordingLog;

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
    scratch_ = std::make_unique<test_support::ScratchFolder>("io");
    root_ = scratch_->path();
    std::filesystem::current_path(root_);
  }

  void TearDown() override {
    std::filesystem::current_path(savedCwd_);
    scratch_.reset();
  }

  // The scratch folder as UTF-8 text, with the system's separators.
  std::string rootText() const { return pathText(root_); }

  static std::string pathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  }

  static void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    test_support::writeFileBytes(path, bytes);
  }

  static void writeFile(const std::filesystem::path& path, const std::string& text) {
    writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
  }

  static std::vector<uint8_t> readFile(const std::filesystem::path& path) { return test_support::readFileBytes(path); }

  std::filesystem::path root_;

 private:
  std::filesystem::path savedCwd_;
  std::unique_ptr<test_support::ScratchFolder> scratch_;
};

}  // namespace io_test
