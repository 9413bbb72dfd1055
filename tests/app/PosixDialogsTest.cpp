// The terminal rendition of the dialogs in the POSIX layer: each scripted
// answer line must become the message the real dialog would send, the
// dialog's texts must come from the shared resource texts, and the control
// calls must behave as the dialog procedures expect of them.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/PosixDialogs.h"
#include "platform/posix/PosixLayer.h"
#include "platform/win32.h"
#include "resources/StubResources.h"
#include "tests/app/DialogTestSupport.h"

namespace {

namespace fs = std::filesystem;

using dialog_test::RedirectedDescriptor;

// What the recording dialog procedure saw.
struct Recorded {
  std::vector<UINT> messages;
  std::vector<int> commands;
  LPARAM initParam = 0;
  std::string editTextAtCommand;
  int endOnCommand = IDCANCEL;  // the command that ends the dialog
  int editId = IDC_FOLDER_EDIT;
};
Recorded g_recorded;

INT_PTR CALLBACK recordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  g_recorded.messages.push_back(message);
  if (message == WM_INITDIALOG) {
    g_recorded.initParam = lParam;
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const int command = LOWORD(wParam);
  g_recorded.commands.push_back(command);
  char text[256];
  GetDlgItemTextA(dialog, g_recorded.editId, text, sizeof text);
  g_recorded.editTextAtCommand = text;
  if (command == IDC_UNZIP_BUTTON) EnableWindow(GetDlgItem(dialog, IDC_UNZIP_BUTTON), FALSE);
  if (command == g_recorded.endOnCommand || command == IDCANCEL) EndDialog(dialog, 1000 + command);
  return TRUE;
}

// Runs a dialog with the answers as its standard input; gives the result
// and what the terminal showed.
INT_PTR runScripted(int dialogId, const std::string& answers, std::string* shown = nullptr) {
  RedirectedDescriptor input(STDIN_FILENO, answers);
  RedirectedDescriptor output(STDERR_FILENO, "");
  const INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(dialogId), nullptr,
                                         recordingDialogProc, 42);
  if (shown != nullptr) *shown = output.contents();
  return result;
}

class PosixDialogsTest : public ::testing::Test {
protected:
  void SetUp() override { g_recorded = Recorded{}; }
};

TEST_F(PosixDialogsTest, MainDialogAnswersBecomeTheButtonsCommands) {
  struct Case {
    const char* label;
    const char* answers;
    std::vector<int> commands;
    INT_PTR result;
  };
  const Case cases[] = {
      {"Enter presses Unzip, q then closes", "\nq\n", {IDC_UNZIP_BUTTON, IDCANCEL}, 1000 + IDCANCEL},
      {"q alone closes", "q\n", {IDCANCEL}, 1000 + IDCANCEL},
      {"end of input closes", "", {IDCANCEL}, 1000 + IDCANCEL},
      {"b presses Browse", "b\nq\n", {IDC_BROWSE_BUTTON, IDCANCEL}, 1000 + IDCANCEL},
      {"a disabled Unzip ignores Enter", "\n\n\n", {IDC_UNZIP_BUTTON, IDCANCEL}, 1000 + IDCANCEL},
      {"a folder line sends nothing", "/some/folder\n", {IDCANCEL}, 1000 + IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    g_recorded = Recorded{};
    EXPECT_EQ(runScripted(IDD_MAIN_DIALOG, c.answers), c.result);
    EXPECT_EQ(g_recorded.commands, c.commands);
    ASSERT_FALSE(g_recorded.messages.empty());
    EXPECT_EQ(g_recorded.messages.front(), static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(g_recorded.initParam, 42);
  }
}

TEST_F(PosixDialogsTest, TypedFolderReplacesTheFieldBeforeUnzip) {
  g_recorded.endOnCommand = IDC_UNZIP_BUTTON;
  runScripted(IDD_MAIN_DIALOG, "/first\n/second place\n\n");
  EXPECT_EQ(g_recorded.commands, std::vector<int>{IDC_UNZIP_BUTTON});
  EXPECT_EQ(g_recorded.editTextAtCommand, "/second place");
}

TEST_F(PosixDialogsTest, PasswordLinePressesOkWithTheTypedText) {
  struct Case {
    const char* label;
    const char* answers;
    std::vector<int> commands;
    std::string text;
  };
  const Case cases[] = {
      {"a password", "s3cret words\n", {IDOK}, "s3cret words"},
      {"q is a password, not a key", "q\n", {IDOK}, "q"},
      {"an empty line is OK with no text", "\n", {IDOK}, ""},
      {"Esc cancels", "\x1b\n", {IDCANCEL}, ""},
      {"end of input cancels", "", {IDCANCEL}, ""},
      {"a carriage return before the newline is not part of it", "pw\r\n", {IDOK}, "pw"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    g_recorded = Recorded{};
    g_recorded.endOnCommand = IDOK;
    g_recorded.editId = IDC_PASSWORD_EDIT;
    runScripted(IDD_PASSWORD_DIALOG, c.answers);
    EXPECT_EQ(g_recorded.commands, c.commands);
    EXPECT_EQ(g_recorded.editTextAtCommand, c.text);
  }
}

TEST_F(PosixDialogsTest, TerminalShowsTheResourceTextsButNeverThePassword) {
  std::string shown;
  runScripted(IDD_MAIN_DIALOG, "q\n", &shown);
  for (const char* text : {STUB_TEXT_MAIN_CAPTION, STUB_TEXT_EXPLANATION, STUB_TEXT_FOLDER_LABEL,
                           STUB_TEXT_UNZIP, STUB_TEXT_BROWSE, STUB_TEXT_CLOSE}) {
    EXPECT_NE(shown.find(text), std::string::npos) << text << " missing from:\n" << shown;
  }

  g_recorded = Recorded{};
  g_recorded.endOnCommand = IDOK;
  g_recorded.editId = IDC_PASSWORD_EDIT;
  runScripted(IDD_PASSWORD_DIALOG, "hunter2\n", &shown);
  for (const char* text : {STUB_TEXT_PASSWORD_CAPTION, STUB_TEXT_PASSWORD_PROMPT, STUB_TEXT_OK,
                           STUB_TEXT_CANCEL}) {
    EXPECT_NE(shown.find(text), std::string::npos) << text << " missing from:\n" << shown;
  }
  EXPECT_EQ(shown.find("hunter2"), std::string::npos) << shown;
}

// A procedure that never ends its dialog: the end of input must still end
// it, with IDCANCEL, instead of waiting for ever.
INT_PTR CALLBACK stubbornDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(PosixDialogsTest, EndOfInputEndsADialogWhoseProcedureIgnoresClose) {
  RedirectedDescriptor input(STDIN_FILENO, "");
  RedirectedDescriptor output(STDERR_FILENO, "");
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, stubbornDialogProc,
                            0),
            IDCANCEL);
}

TEST_F(PosixDialogsTest, UnknownTemplateOrProcedureFails) {
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(131), nullptr, recordingDialogProc, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, nullptr, 0), -1);
  EXPECT_TRUE(g_recorded.messages.empty());
}

// Everything the dialog procedures do with their controls, checked from
// inside WM_INITDIALOG of a live dialog.
struct ControlChecks {
  HWND dialog = nullptr;
  std::string finishedText;
  LRESULT previousPosition = -1;
  LRESULT clampedPrevious = -1;
  BOOL firstDisable = -1;
  BOOL secondDisable = -1;
  HWND missing = reinterpret_cast<HWND>(1);
  UINT truncatedLength = 0;
  std::string truncated;
  std::string caption;
  RECT dialogRect{};
  RECT desktopRect{};
  RECT centred{};
};
ControlChecks g_checks;

INT_PTR CALLBACK controlCheckingProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  g_checks.dialog = dialog;
  SetDlgItemTextA(dialog, IDC_FINISHED_TEXT, STUB_TEXT_FINISHED);
  char text[64];
  GetDlgItemTextA(dialog, IDC_FINISHED_TEXT, text, sizeof text);
  g_checks.finishedText = text;

  HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
  SendMessageA(bar, PBM_SETPOS, 10, 0);
  g_checks.previousPosition = SendMessageA(bar, PBM_SETPOS, 250, 0);
  g_checks.clampedPrevious = SendMessageA(bar, PBM_SETPOS, 0, 0);

  HWND unzip = GetDlgItem(dialog, IDC_UNZIP_BUTTON);
  g_checks.firstDisable = EnableWindow(unzip, FALSE);
  g_checks.secondDisable = EnableWindow(unzip, FALSE);

  g_checks.missing = GetDlgItem(dialog, 4242);

  SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, "/a/long/folder");
  g_checks.truncatedLength = GetDlgItemTextA(dialog, IDC_FOLDER_EDIT, text, 5);
  g_checks.truncated = text;

  SetWindowTextA(dialog, "Custom title");
  g_checks.caption.resize(static_cast<size_t>(SendMessageA(dialog, WM_GETTEXTLENGTH, 0, 0)));
  SendMessageA(dialog, WM_GETTEXT, g_checks.caption.size() + 1,
               reinterpret_cast<LPARAM>(g_checks.caption.data()));

  GetWindowRect(dialog, &g_checks.dialogRect);
  GetWindowRect(GetDesktopWindow(), &g_checks.desktopRect);
  SetWindowPos(dialog, HWND_TOP, 100, 50, 0, 0, SWP_NOSIZE);
  GetWindowRect(dialog, &g_checks.centred);
  EndDialog(dialog, 7);
  return TRUE;
}

TEST_F(PosixDialogsTest, ControlCallsActOnTheDialogsControls) {
  g_checks = ControlChecks{};
  RedirectedDescriptor input(STDIN_FILENO, "");
  RedirectedDescriptor output(STDERR_FILENO, "");
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, controlCheckingProc,
                            0),
            7);
  const std::string shown = output.contents();

  EXPECT_EQ(g_checks.finishedText, STUB_TEXT_FINISHED);
  EXPECT_EQ(g_checks.previousPosition, 10);
  EXPECT_EQ(g_checks.clampedPrevious, 100) << "a position above the range is clamped to 100";
  // A 40-cell bar: 10% fills 4 cells.
  const std::string tenPercent = "[" + std::string(4, '#') + std::string(36, '.') + "]  10%";
  EXPECT_NE(shown.find(tenPercent), std::string::npos) << shown;
  EXPECT_NE(shown.find("100%"), std::string::npos) << shown;
  EXPECT_EQ(g_checks.firstDisable, FALSE) << "it was enabled before";
  EXPECT_NE(g_checks.secondDisable, FALSE) << "it was disabled before";
  EXPECT_EQ(g_checks.missing, nullptr);
  EXPECT_EQ(g_checks.truncatedLength, 4u);
  EXPECT_EQ(g_checks.truncated, "/a/l");
  EXPECT_EQ(g_checks.caption, "Custom title");

  // 321 x 94 dialog units at a 6 x 13 pixel font cell.
  EXPECT_EQ(g_checks.dialogRect.right - g_checks.dialogRect.left, 482);
  EXPECT_EQ(g_checks.dialogRect.bottom - g_checks.dialogRect.top, 153);
  EXPECT_EQ(g_checks.desktopRect.right, posix_layer::kDesktopWidthPixels);
  EXPECT_EQ(g_checks.desktopRect.bottom, posix_layer::kDesktopHeightPixels);
  EXPECT_EQ(g_checks.centred.left, 100);
  EXPECT_EQ(g_checks.centred.top, 50);
  EXPECT_EQ(g_checks.centred.right - g_checks.centred.left, 482) << "SWP_NOSIZE keeps the size";

  // The dialog and its controls are gone once DialogBoxParamA returns.
  EXPECT_EQ(GetDlgItem(g_checks.dialog, IDC_UNZIP_BUTTON), nullptr);
  EXPECT_FALSE(EndDialog(g_checks.dialog, 0));
}

TEST_F(PosixDialogsTest, RectangleHelpers) {
  RECT source{1, 2, 30, 40};
  RECT copy{};
  EXPECT_TRUE(CopyRect(&copy, &source));
  EXPECT_TRUE(OffsetRect(&copy, -1, 8));
  EXPECT_EQ(copy.left, 0);
  EXPECT_EQ(copy.top, 10);
  EXPECT_EQ(copy.right, 29);
  EXPECT_EQ(copy.bottom, 48);
  EXPECT_FALSE(CopyRect(nullptr, &source));
  EXPECT_FALSE(OffsetRect(nullptr, 1, 1));
}

class FolderBrowserTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_folder = fs::temp_directory_path() / ("bv-browse-" + std::to_string(::getpid()));
    fs::create_directories(m_folder / "Chosen One");
  }
  void TearDown() override { fs::remove_all(m_folder); }

  PIDLIST_ABSOLUTE browse(const std::string& answers, char* displayName) {
    RedirectedDescriptor input(STDIN_FILENO, answers);
    RedirectedDescriptor output(STDERR_FILENO, "");
    BROWSEINFOA info{};
    info.pszDisplayName = displayName;
    info.lpszTitle = STUB_TEXT_BROWSE_TITLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
    m_shown = output.contents();
    return chosen;
  }

  fs::path m_folder;
  std::string m_shown;
};

TEST_F(FolderBrowserTest, ChosenFolderComesBackAsAnAbsolutePath) {
  char displayName[MAX_PATH] = "unchanged";
  const fs::path chosenFolder = m_folder / "Chosen One";
  PIDLIST_ABSOLUTE chosen = browse(chosenFolder.string() + "/../Chosen One\n", displayName);
  ASSERT_NE(chosen, nullptr) << m_shown;
  EXPECT_NE(m_shown.find(STUB_TEXT_BROWSE_TITLE), std::string::npos) << m_shown;

  char path[MAX_PATH] = "";
  EXPECT_TRUE(SHGetPathFromIDListA(chosen, path));
  EXPECT_EQ(std::string(path), fs::canonical(chosenFolder).string());
  EXPECT_STREQ(displayName, "Chosen One");

  IMalloc* allocator = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetMalloc(&allocator)));
  ASSERT_NE(allocator, nullptr);
  allocator->Free(chosen);
  allocator->Release();
}

TEST_F(FolderBrowserTest, EmptyLineEndOfInputOrNoFolderIsCancel) {
  const std::string missing = (m_folder / "missing").string() + "\n";
  for (const std::string& answers : {std::string("\n"), std::string(""), missing}) {
    SCOPED_TRACE(answers);
    char displayName[MAX_PATH] = "unchanged";
    EXPECT_EQ(browse(answers, displayName), nullptr);
    EXPECT_STREQ(displayName, "unchanged");
  }
}

}  // namespace

#endif  // _WIN32
