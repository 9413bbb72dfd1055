// The behaviours of the Win32 file, error and shell calls that the library
// relies on. Natively these test our POSIX layer; built for Windows, the same
// cases run against the system itself, which keeps the layer honest.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "tests/io/IoTestSupport.h"

#ifndef _WIN32
#include "platform/posix/PosixLayer.h"
#endif

namespace fs = std::filesystem;

namespace {

class Win32ApiTest : public io_test::ScratchDirTest {};

HANDLE openExisting(const char* name, DWORD access, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return CreateFileA(name, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
}

TEST_F(Win32ApiTest, FailuresGiveTheWindowsErrorCodes) {
  writeFile(root_ / "file.txt", "x");
  fs::create_directory(root_ / "dir");
  struct Case {
    const char* label;
    BOOL (*attempt)();
    DWORD expected;
  };
  const Case cases[] = {
      {"open a missing file",
       [] { return BOOL(openExisting("nofile.txt", GENERIC_READ) != INVALID_HANDLE_VALUE); },
       ERROR_FILE_NOT_FOUND},
      {"open in a missing folder",
       [] { return BOOL(openExisting("nodir\\file.txt", GENERIC_READ) != INVALID_HANDLE_VALUE); },
       ERROR_PATH_NOT_FOUND},
      {"open a folder without backup semantics",
       [] { return BOOL(openExisting("dir", GENERIC_READ) != INVALID_HANDLE_VALUE); },
       ERROR_ACCESS_DENIED},
      {"create-new over a file",
       [] {
         return BOOL(CreateFileA("file.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr) != INVALID_HANDLE_VALUE);
       },
       ERROR_FILE_EXISTS},
      {"create an existing folder", [] { return CreateDirectoryA("dir", nullptr); },
       ERROR_ALREADY_EXISTS},
      {"create a folder in a missing folder",
       [] { return CreateDirectoryA("nodir\\sub", nullptr); }, ERROR_PATH_NOT_FOUND},
      {"enter a missing folder", [] { return SetCurrentDirectoryA("nodir"); }, ERROR_FILE_NOT_FOUND},
      {"delete a missing file", [] { return DeleteFileA("nofile.txt"); }, ERROR_FILE_NOT_FOUND},
      {"delete a folder", [] { return DeleteFileA("dir"); }, ERROR_ACCESS_DENIED},
      {"attributes of a missing file",
       [] { return BOOL(GetFileAttributesA("nofile.txt") != INVALID_FILE_ATTRIBUTES); },
       ERROR_FILE_NOT_FOUND},
      {"size of a bad handle",
       [] { return BOOL(GetFileSize(INVALID_HANDLE_VALUE, nullptr) != INVALID_FILE_SIZE); },
       ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SetLastError(0);
    EXPECT_FALSE(c.attempt());
    EXPECT_EQ(GetLastError(), c.expected);
  }
}

TEST_F(Win32ApiTest, ReadOnlyFilesRefuseWritesAndDeletes) {
  if (io_test::runningUnderWine()) GTEST_SKIP() << "Wine does not enforce the read-only attribute for root";
  writeFile(root_ / "ro.txt", "x");
  ASSERT_TRUE(SetFileAttributesA("ro.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA("ro.txt"), DWORD(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(openExisting("ro.txt", GENERIC_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileA("ro.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  HANDLE reader = openExisting("ro.txt", GENERIC_READ);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "reading is still allowed";
  CloseHandle(reader);
  ASSERT_TRUE(SetFileAttributesA("ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileA("ro.txt"));
}

TEST_F(Win32ApiTest, AttributesOfNewFilesAndFolders) {
  HANDLE handle = CreateFileA("new.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  CloseHandle(handle);
  EXPECT_EQ(GetFileAttributesA("new.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(SetFileAttributesA("new.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesA("new.txt"), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

  ASSERT_TRUE(CreateDirectoryA("folder", nullptr));
  EXPECT_EQ(GetFileAttributesA("folder"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  const uint16_t wide[] = {'f', 'o', 'l', 'd', 'e', 'r', 0};
  EXPECT_EQ(GetFileAttributesW(reinterpret_cast<LPCWSTR>(wide)), DWORD(FILE_ATTRIBUTE_DIRECTORY));
}

// FILETIME counts 100 ns ticks from 1601; 0x019DB1DED53E8000 is 1970-01-01.
TEST_F(Win32ApiTest, FileTimesRoundTrip) {
  writeFile(root_ / "timed.txt", "x");
  fs::create_directory(root_ / "timeddir");
  const uint64_t values[] = {
      0x019DB1DED53E8000ull,                        // 1970-01-01 00:00:00 UTC
      0x019DB1DED53E8000ull + 1234567890123456ull,  // 1973-11-29, with 100 ns digits
      132539328000000000ull,                        // 2021-01-01 00:00:00 UTC
  };
  const char* names[] = {"timed.txt", "timeddir"};
  for (const char* name : names) {
    for (uint64_t value : values) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(value));
      HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      ASSERT_NE(handle, INVALID_HANDLE_VALUE);
      const FILETIME set = {static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
      EXPECT_TRUE(SetFileTime(handle, &set, &set, &set));
      FILETIME creation, access, write;
      EXPECT_TRUE(GetFileTime(handle, &creation, &access, &write));
      CloseHandle(handle);
      EXPECT_EQ(write.dwLowDateTime, set.dwLowDateTime);
      EXPECT_EQ(write.dwHighDateTime, set.dwHighDateTime);
      EXPECT_EQ(access.dwLowDateTime, set.dwLowDateTime);
      EXPECT_EQ(access.dwHighDateTime, set.dwHighDateTime);
    }
  }
  const auto written = fs::last_write_time(root_ / "timed.txt");
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::file_clock::to_sys(written).time_since_epoch());
  EXPECT_EQ(seconds.count(), 1609459200) << "the system sees 2021-01-01 too";
}

TEST_F(Win32ApiTest, FilePointerAndSize) {
  HANDLE handle = CreateFileA("ptr.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(handle, "0123456789", 10, &count, nullptr));
  EXPECT_EQ(count, 10u);
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(handle, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(handle, -4, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(handle, -2, nullptr, FILE_CURRENT), 4u);
  LONG moveHigh = -1;  // a 64-bit distance of -1
  EXPECT_EQ(SetFilePointer(handle, -1, &moveHigh, FILE_CURRENT), 3u);
  EXPECT_EQ(moveHigh, 0);
  char buffer[4] = {};
  ASSERT_TRUE(ReadFile(handle, buffer, 3, &count, nullptr));
  EXPECT_EQ(std::string(buffer, count), "345");
  EXPECT_EQ(SetFilePointer(handle, -100, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(handle, 0, nullptr, FILE_END), 10u);
  ASSERT_TRUE(ReadFile(handle, buffer, 3, &count, nullptr)) << "reading at the end succeeds";
  EXPECT_EQ(count, 0u);
  CloseHandle(handle);
}

TEST(Win32MessagesTest, FormatMessageKnownAndUnknownCodes) {
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                      FORMAT_MESSAGE_ALLOCATE_BUFFER;
  const DWORD neutralLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
  const DWORD known[] = {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                         ERROR_SHARING_VIOLATION, ERROR_FILE_EXISTS, ERROR_DISK_FULL,
                         ERROR_ALREADY_EXISTS};
  for (DWORD code : known) {
    SCOPED_TRACE(code);
    char* text = nullptr;
    const DWORD length = FormatMessageA(flags, nullptr, code, neutralLanguage,
                                        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_GT(length, 2u);
    ASSERT_NE(text, nullptr);
    const std::string message(text, length);
    EXPECT_EQ(message.substr(message.size() - 2), "\r\n");
    LocalFree(text);
  }
  if (io_test::kExactSystemTexts) {
    char* text = nullptr;
    FormatMessageA(flags, nullptr, ERROR_FILE_NOT_FOUND, neutralLanguage, reinterpret_cast<LPSTR>(&text), 0,
                   nullptr);
    EXPECT_STREQ(text, "The system cannot find the file specified.\r\n");
    LocalFree(text);
  }

  char* text = nullptr;
  EXPECT_EQ(FormatMessageA(flags, nullptr, 0x2ABCDEu, neutralLanguage, reinterpret_cast<LPSTR>(&text), 0,
                           nullptr),
            0u)
      << "an unknown code has no text";

  char buffer[200];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      ERROR_ACCESS_DENIED, neutralLanguage, buffer, sizeof buffer, nullptr);
  EXPECT_GT(length, 2u);
  EXPECT_EQ(std::string(buffer, length).substr(length - 2), "\r\n");
}

TEST(Win32SystemTest, VersionTempPathAndTicks) {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));

  char temp[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, DWORD(MAX_PATH));
  EXPECT_TRUE(temp[length - 1] == '\\' || temp[length - 1] == '/');
  char tiny[2];
  EXPECT_EQ(GetTempPathA(sizeof tiny, tiny), length + 1) << "too small: the size needed";

  // Milliseconds, read at the tick counter's resolution (about 16 ms on
  // Windows and under Wine): a 200 ms sleep reads as at least 184.
  constexpr DWORD kSleepMs = 200;
  constexpr DWORD kTickResolutionMs = 16;
  const DWORD before = GetTickCount();
  Sleep(kSleepMs);
  EXPECT_GE(GetTickCount() - before, kSleepMs - kTickResolutionMs);
}

// A program started with SEE_MASK_NOCLOSEPROCESS can be waited for and its
// exit code read: before its end the wait times out and the code is
// STILL_ACTIVE, afterwards the code is the program's own.
class ProcessWaitTest : public io_test::ScratchDirTest {
 protected:
  static constexpr DWORD kExitCode = 42;
#ifdef _WIN32
  // ping waits about a second between its two echo requests.
  const char* scriptName_ = "exit42.bat";
  const char* scriptText_ = "@ping -n 2 127.0.0.1 > nul\r\n@exit 42\r\n";
#else
  const char* scriptName_ = "exit42.sh";
  const char* scriptText_ = "sleep 1\nexit 42\n";
#endif

  HANDLE start(ULONG mask, BOOL& started) {
    writeFile(root_ / scriptName_, scriptText_);
    program_ = pathText(root_ / scriptName_);
    directory_ = rootText();
    SHELLEXECUTEINFOA request;
    std::memset(&request, 0, sizeof request);
    request.cbSize = sizeof request;
    request.fMask = mask;
    request.lpVerb = "open";
    request.lpFile = program_.c_str();
    request.lpDirectory = directory_.c_str();
    request.nShow = SW_SHOWNORMAL;
    started = ShellExecuteExA(&request);
    EXPECT_GT(reinterpret_cast<INT_PTR>(request.hInstApp), 32);
    return request.hProcess;
  }

  std::string program_;
  std::string directory_;
};

TEST_F(ProcessWaitTest, WaitGivesTheProgramsExitCode) {
  BOOL started = FALSE;
  HANDLE process = start(SEE_MASK_NOCLOSEPROCESS, started);
  ASSERT_TRUE(started);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_TIMEOUT);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(process, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, kExitCode);
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "an ended process stays signalled";
  EXPECT_TRUE(CloseHandle(process));
}

TEST_F(ProcessWaitTest, MessageWaitWakesForAPostedMessageThenForTheEnd) {
  BOOL started = FALSE;
  HANDLE process = start(SEE_MASK_NOCLOSEPROCESS, started);
  ASSERT_NE(process, nullptr);
  // A thread message: no window needed.
  ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 5, 7, 0));
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0 + 1);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, UINT(WM_USER + 5));
  EXPECT_EQ(message.wParam, WPARAM(7));
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) << "the queue is empty now";
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, kExitCode);
  EXPECT_TRUE(CloseHandle(process));
}

TEST_F(ProcessWaitTest, WithoutTheMaskNoHandleAndAMissingProgramFails) {
  BOOL started = FALSE;
  EXPECT_EQ(start(0, started), nullptr);
  EXPECT_TRUE(started);

  SHELLEXECUTEINFOA request;
  std::memset(&request, 0, sizeof request);
  request.cbSize = sizeof request;
  request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  request.lpVerb = "open";
  const std::string missing = pathText(root_ / "no-such-setup.exe");
  request.lpFile = missing.c_str();
  request.nShow = SW_SHOWNORMAL;
  EXPECT_FALSE(ShellExecuteExA(&request));
  EXPECT_EQ(request.hProcess, nullptr);
  EXPECT_LE(reinterpret_cast<INT_PTR>(request.hInstApp), 32);
  // Let the detached program of the first launch end before the folder goes.
  Sleep(1500);
}

#ifndef _WIN32

TEST(PosixLayerTest, AnsiCodePageIsUtf8UnlessATestSetsAnother) {
  EXPECT_EQ(GetACP(), 65001u);
  brivaneSetAnsiCodePageForTests(1252);
  EXPECT_EQ(GetACP(), 1252u);
  brivaneSetAnsiCodePageForTests(65001);
}

TEST(PosixLayerTest, WindowsPathsBecomePosixPaths) {
  struct Case {
    const char* windows;
    const char* posix;
  };
  const Case cases[] = {
      {"C:\\temp\\x.txt", "/temp/x.txt"}, {"d:", "/"},       {"C:rel", "/rel"},
      {"a\\b/c", "a/b/c"},                {"\\root", "/root"}, {"\\\\server\\share", "//server/share"},
      {"a\\b:c", "a/b:c"},                {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(posix_layer::toNativePath(c.windows), c.posix) << c.windows;
}

TEST(PosixLayerTest, Utf16PathsRoundTrip) {
  // "Größe-€-😀": two-byte, three-byte and surrogate-pair characters.
  const uint16_t wide[] = {'G', 'r', 0xF6, 0xDF, 'e', '-', 0x20AC, '-', 0xD83D, 0xDE00, 0};
  const std::string utf8 = posix_layer::utf16ToUtf8(reinterpret_cast<const WCHAR*>(wide));
  EXPECT_EQ(utf8, "Gr\xC3\xB6\xC3\x9F" "e-\xE2\x82\xAC-\xF0\x9F\x98\x80");
  const std::u16string back = posix_layer::utf8ToUtf16(utf8);
  EXPECT_EQ(back, std::u16string(reinterpret_cast<const char16_t*>(wide), 10));
  const uint16_t loneSurrogate[] = {'a', 0xD800, 'b', 0};
  EXPECT_EQ(posix_layer::utf16ToUtf8(reinterpret_cast<const WCHAR*>(loneSurrogate)), "a\xEF\xBF\xBD" "b");
}

TEST(PosixLayerTest, CommandLinesSplitLikeWindowsPrograms) {
  struct Case {
    const char* label;
    const char* line;
    std::vector<std::string> arguments;
  };
  const Case cases[] = {
      {"blanks separate", "a  b\tc", {"a", "b", "c"}},
      {"quotes group", "\"two words\" x", {"two words", "x"}},
      {"quotes inside a word", "ab\"c d\"e", {"abc de"}},
      {"escaped quote", "a\\\"b", {"a\"b"}},
      {"backslashes alone stay", "c:\\dir\\\\x", {"c:\\dir\\\\x"}},
      {"even backslashes before a quote halve", "\"a\\\\\" b", {"a\\", "b"}},
      {"odd backslashes before a quote escape it", "\"a\\\\\\\"b\"", {"a\\\"b"}},
      {"empty quoted argument", "x \"\" y", {"x", "", "y"}},
      {"doubled quote inside quotes", "\"a\"\"b\"", {"a\"b"}},
      {"nothing", "   ", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(posix_layer::splitCommandLine(c.line), c.arguments) << c.label;
  }
  EXPECT_TRUE(posix_layer::splitCommandLine(nullptr).empty());
}

class ShellExecuteTest : public io_test::ScratchDirTest {
 protected:
  // Waits for the launched program's report: it writes "<file>.part" and
  // renames it when complete. The program runs detached, so its end cannot
  // be waited for directly.
  std::vector<std::string> waitForReport(const fs::path& report) {
    for (int i = 0; i < 1000 && !fs::exists(report); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<std::string> lines;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

// The report script prints its working directory, then each argument on a
// line of its own.
constexpr const char* kReportScript =
    "pwd > \"$REPORT.part\"\n"
    "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$REPORT.part\"; done\n"
    "mv \"$REPORT.part\" \"$REPORT\"\n";

TEST_F(ShellExecuteTest, ScriptRunsInTheGivenDirectoryWithSplitParameters) {
  fs::create_directory(root_ / "launch dir");
  const fs::path report = root_ / "report.txt";
  writeFile(root_ / "launch dir" / "setup.sh", "REPORT='" + pathText(report) + "'\n" + kReportScript);
  // No execute bit: the file runs through the shell.
  const std::string directory = pathText(root_ / "launch dir");
  fs::current_path(root_ / "launch dir");
  const HINSTANCE result = ShellExecuteA(nullptr, "open", "setup.sh",
                                         "plain \"two words\" quote\\\"d back\\\\slash \"\" \"tail\\\\\"",
                                         directory.c_str(), SW_SHOWNORMAL);
  EXPECT_GT(reinterpret_cast<intptr_t>(result), 32);
  const std::vector<std::string> lines = waitForReport(report);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_TRUE(fs::equivalent(lines[0], root_ / "launch dir"));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{"plain", "two words", "quote\"d", "back\\\\slash", "", "tail\\"}));
}

TEST_F(ShellExecuteTest, ExecutableRunsDirectlyFoundFromTheDirectory) {
  fs::create_directory(root_ / "bin");
  const fs::path report = root_ / "direct.txt";
  writeFile(root_ / "bin" / "tool", "#!/bin/sh\nREPORT='" + pathText(report) + "'\n" + kReportScript);
  fs::permissions(root_ / "bin" / "tool", fs::perms::owner_all);
  const std::string directory = pathText(root_ / "bin");
  const HINSTANCE result = ShellExecuteA(nullptr, nullptr, "tool", nullptr, directory.c_str(), SW_SHOWNORMAL);
  EXPECT_GT(reinterpret_cast<intptr_t>(result), 32);
  const std::vector<std::string> lines = waitForReport(report);
  ASSERT_EQ(lines.size(), 1u) << "no parameters";
  EXPECT_TRUE(fs::equivalent(lines[0], root_ / "bin"));
}

TEST_F(ShellExecuteTest, FailuresReturnSmallCodes) {
  EXPECT_EQ(reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", "no-such-setup.exe", nullptr,
                                                     rootText().c_str(), SW_SHOWNORMAL)),
            SE_ERR_FNF);
  writeFile(root_ / "s.sh", "exit 0\n");
  EXPECT_EQ(reinterpret_cast<intptr_t>(
                ShellExecuteA(nullptr, "open", "s.sh", nullptr, "no-such-dir", SW_SHOWNORMAL)),
            SE_ERR_PNF);
}

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
std::vector<UINT> g_seen;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(message);
  if (message == WM_DESTROY) {
    PostQuitMessage(3);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(PosixWindowsTest, HiddenWindowAndMessageLoop) {
  const BrivaneStringEntry table[] = {{103, "Brivane Unpacker"}, {109, "SELFEXTRACT"}};
  brivaneRegisterStringTable(table, 2);
  char title[100];
  char className[100];
  EXPECT_EQ(LoadStringA(nullptr, 103, title, sizeof title), 16);
  EXPECT_STREQ(title, "Brivane Unpacker");
  EXPECT_EQ(LoadStringA(nullptr, 109, className, 5), 4) << "cut to the buffer";
  EXPECT_STREQ(className, "SELF");
  EXPECT_EQ(LoadStringA(nullptr, 999, title, sizeof title), 0);
  LoadStringA(nullptr, 109, className, sizeof className);
  // Classes live as long as the process: a repeated run registers a new one.
  static int run = 0;
  std::snprintf(className + std::strlen(className), 20, "%d", ++run);

  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = recordingProc;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = className;
  EXPECT_NE(RegisterClassExA(&windowClass), 0);
  HWND window = CreateWindowExA(0, className, title, WS_POPUP, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
            nullptr);

  g_seen.clear();
  EXPECT_TRUE(PostMessageA(window, WM_USER + 7, 0, 0));
  EXPECT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  MSG message;
  int loops = 0;
  while (GetMessageA(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
    ASSERT_LT(++loops, 10);
  }
  EXPECT_EQ(message.message, UINT(WM_QUIT));
  EXPECT_EQ(message.wParam, WPARAM(3));
  EXPECT_EQ(g_seen, (std::vector<UINT>{WM_USER + 7, WM_CLOSE, WM_DESTROY}));
  EXPECT_FALSE(DestroyWindow(window)) << "already destroyed by WM_CLOSE";
}

#endif  // !_WIN32

}  // namespace
