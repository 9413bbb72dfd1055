// The main dialog's procedure, run natively in the POSIX layer's terminal
// rendition of dialog 129: what it shows at the start, and how Close, the
// system close and Browse end or change it. (Unzip runs the whole
// extraction; the end-to-end tests drive it.)
#ifndef _WIN32

#include "app/MainDialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/StubGlobals.h"
#include "resources/StubResources.h"
#include "tests/app/DialogTestSupport.h"

namespace {

namespace fs = std::filesystem;

// A fresh temporary-files folder (TMPDIR) for each test, and application
// settings reset before and after.
class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_temp = fs::temp_directory_path() / ("bv-main-dialog-" + std::to_string(::getpid()));
        fs::remove_all(m_temp);
        fs::create_directories(m_temp);
        m_previousTemp = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", (m_temp.string() + "/").c_str(), 1);
        resetSettings();
    }
    void TearDown() override {
        resetSettings();
        if (m_previousTemp.empty()) {
            ::unsetenv("TMPDIR");
        } else {
            ::setenv("TMPDIR", m_previousTemp.c_str(), 1);
        }
        fs::remove_all(m_temp);
    }
    static void resetSettings() {
        g_saApp.m_appTitle.clear();
        g_saApp.m_appCaption.clear();
        g_saApp.m_unzipDir.clear();
        g_saApp.m_unzipToTemp = false;
        g_progress.setDialog(nullptr);
    }

    // Runs the main dialog with the answers; gives its result.
    INT_PTR run(const std::string& answers, DLGPROC procedure = mainDialogProc) {
        dialog_test::ScriptedTerminal terminal(answers);
        const INT_PTR result =
            DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, procedure, 0);
        m_shown = terminal.shown();
        return result;
    }
    std::vector<std::string> fields() const { return dialog_test::shownFields(m_shown); }
    bool shown(const char* text) const { return m_shown.find(text) != std::string::npos; }

    fs::path m_temp;
    std::string m_previousTemp;
    std::string m_shown;
};

TEST_F(MainDialogTest, ShowsTheConfiguredFolderAsStored) {
    for (bool unzipToTemp : {false, true}) {
        SCOPED_TRACE(unzipToTemp ? "with unzipToTemp" : "without unzipToTemp");
        g_saApp.m_unzipDir.setString("%TEMP%\\App\\\\x");
        g_saApp.m_unzipToTemp = unzipToTemp;
        EXPECT_EQ(run("q\n"), IDCANCEL);
        ASSERT_FALSE(fields().empty()) << m_shown;
        EXPECT_EQ(fields().front(), "%TEMP%\\App\\\\x");
        EXPECT_STREQ(g_saApp.m_unzipDir.getString(), "%TEMP%\\App\\\\x");
    }
}

TEST_F(MainDialogTest, WithoutAFolderShowsTheCurrentDirectory) {
    run("q\n");
    ASSERT_FALSE(fields().empty()) << m_shown;
    EXPECT_EQ(fields().front(), fs::current_path().string());
    EXPECT_EQ(g_saApp.m_unzipDir.getSize(), 0) << "the current directory is not remembered";
}

TEST_F(MainDialogTest, UnzipToTempProposesAGeneratedFolderAndRemembersIt) {
    g_saApp.m_unzipToTemp = true;
    run("q\n");
    ASSERT_FALSE(fields().empty()) << m_shown;
    const std::string field = fields().front();
    const std::string prefix = m_temp.string() + "/bvz_";
    ASSERT_EQ(field.compare(0, prefix.size(), prefix), 0) << field;
    EXPECT_EQ(field.size(), prefix.size() + 4) << "four characters and no extension: " << field;
    EXPECT_EQ(field, g_saApp.m_unzipDir.getString());
    EXPECT_TRUE(fs::is_empty(m_temp)) << "only a name: nothing is created before Unzip";
}

TEST_F(MainDialogTest, TitleAndCaptionReplaceTheTemplateTexts) {
    run("q\n");
    EXPECT_TRUE(shown(STUB_TEXT_MAIN_CAPTION));
    EXPECT_TRUE(shown(STUB_TEXT_EXPLANATION));

    g_saApp.m_appTitle.setString("Acme Setup");
    g_saApp.m_appCaption.setString("Unpacks Acme.");
    run("q\n");
    EXPECT_TRUE(shown("== Acme Setup =="));
    EXPECT_TRUE(shown("Unpacks Acme."));
    EXPECT_FALSE(shown(STUB_TEXT_MAIN_CAPTION));
    EXPECT_FALSE(shown(STUB_TEXT_EXPLANATION));
}

TEST_F(MainDialogTest, BrowseReplacesTheFieldUnlessCancelled) {
    g_saApp.m_unzipDir.setString("/configured");
    const fs::path chosen = m_temp / "chosen";
    fs::create_directories(chosen);
    run("b\n\nb\n" + chosen.string() + "\nq\n");
    EXPECT_TRUE(shown(STUB_TEXT_BROWSE_TITLE));
    const std::vector<std::string> expected{"/configured", "/configured", fs::canonical(chosen).string()};
    EXPECT_EQ(fields(), expected);
}

// The system close and other messages, sent from inside the live dialog.
struct SentResults {
    INT_PTR otherSysCommand = -1;
    INT_PTR unknownCommand = -1;
    INT_PTR otherMessage = -1;
    INT_PTR sysClose = -1;
};
SentResults g_sent;

INT_PTR CALLBACK closingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const INT_PTR result = mainDialogProc(dialog, message, wParam, lParam);
    if (message != WM_INITDIALOG) return result;
    // SC_CLOSE with other low bits set is not SC_CLOSE exactly.
    g_sent.otherSysCommand = mainDialogProc(dialog, WM_SYSCOMMAND, SC_CLOSE | 0x2, 0);
    g_sent.unknownCommand = mainDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDC_STATUS_TEXT, 0), 0);
    g_sent.otherMessage = mainDialogProc(dialog, WM_PAINT, 0, 0);
    g_sent.sysClose = mainDialogProc(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return result;
}

TEST_F(MainDialogTest, SystemCloseEndsTheDialogWithScClose) {
    g_sent = SentResults{};
    g_saApp.m_unzipDir.setString("/x");
    EXPECT_EQ(run("", closingProc), SC_CLOSE);
    EXPECT_EQ(g_sent.otherSysCommand, FALSE);
    EXPECT_EQ(g_sent.unknownCommand, FALSE);
    EXPECT_EQ(g_sent.otherMessage, FALSE);
    EXPECT_EQ(g_sent.sysClose, TRUE);
}

}  // namespace

#endif  // _WIN32
