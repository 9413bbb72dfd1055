// The password dialog and askPassword, run natively in the POSIX layer's
// terminal rendition of dialog 130 against encrypted payloads written in
// memory: the typed password is checked against the payload's verifier.
#ifndef _WIN32

#include "app/PasswordDialog.h"

#include <gtest/gtest.h>

#include <string>

#include "app/StubGlobals.h"
#include "io/MemoryDataSource.h"
#include "resources/StubResources.h"
#include "tests/app/DialogTestSupport.h"
#include "tests/payload/PayloadTestSupport.h"

namespace {

constexpr char kIncorrectPassword[] = "Error: Incorrect password.";

class PasswordDialogTest : public ::testing::Test {
protected:
    void SetUp() override { g_saApp.m_password.clear(); }
    void TearDown() override {
        g_saApp.m_password.clear();
        g_archive.setSource(nullptr);
    }

    INT_PTR run(const std::string& answers, DLGPROC procedure = passwordDialogProc) {
        dialog_test::ScriptedTerminal terminal(answers);
        const INT_PTR result =
            DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_PASSWORD_DIALOG), nullptr, procedure, 0);
        m_shown = terminal.shown();
        return result;
    }

    std::string m_shown;
};

TEST_F(PasswordDialogTest, OkKeepsTheTypedTextCancelEmptiesIt) {
    struct Case {
        const char* label;
        const char* answers;
        INT_PTR result;
        const char* password;
    };
    const Case cases[] = {
        {"OK", "Open Sesame\n", IDOK, "Open Sesame"},
        {"OK with nothing typed", "\n", IDOK, ""},
        {"Cancel (Esc)", "\x1b\n", IDCANCEL, ""},
        {"Cancel (end of input)", "", IDCANCEL, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        g_saApp.m_password.setString("stale");
        EXPECT_EQ(run(c.answers), c.result);
        EXPECT_STREQ(g_saApp.m_password.getString(), c.password);
    }
}

TEST_F(PasswordDialogTest, TypedTextIsCutAt499Characters) {
    const std::string typed(600, 'p');
    run(typed + "\n");
    EXPECT_EQ(std::string(g_saApp.m_password.getString()), std::string(499, 'p'));
}

struct SentResults {
    INT_PTR cancel = -1;
    INT_PTR unknownCommand = -1;
    INT_PTR otherSysCommand = -1;
    INT_PTR sysClose = -1;
};
SentResults g_sent;

// Alt+F4 and the other messages, sent from inside the live dialog; the
// password is still empty then, and the system close leaves it so.
INT_PTR CALLBACK probingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const INT_PTR result = passwordDialogProc(dialog, message, wParam, lParam);
    if (message != WM_INITDIALOG) return result;
    g_sent.unknownCommand = passwordDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDC_PASSWORD_EDIT, 0), 0);
    g_sent.otherSysCommand = passwordDialogProc(dialog, WM_SYSCOMMAND, SC_CLOSE | 0x2, 0);
    g_sent.sysClose = passwordDialogProc(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return result;
}

INT_PTR CALLBACK cancellingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const INT_PTR result = passwordDialogProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG) {
        g_sent.cancel = passwordDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    }
    return result;
}

TEST_F(PasswordDialogTest, SystemCloseEndsWithScCloseAndCancelAnswersFalse) {
    g_sent = SentResults{};
    EXPECT_EQ(run("", probingProc), SC_CLOSE);
    EXPECT_EQ(g_sent.unknownCommand, FALSE);
    EXPECT_EQ(g_sent.otherSysCommand, FALSE);
    EXPECT_EQ(g_sent.sysClose, TRUE);
    EXPECT_EQ(g_saApp.m_password.getSize(), 0);

    EXPECT_EQ(run("", cancellingProc), IDCANCEL);
    EXPECT_EQ(g_sent.cancel, FALSE);
}

// An encrypted payload with no entries, read up to the verifier record and
// attached to the process's archive for the life of the object.
class EncryptedPayload {
public:
    EncryptedPayload(const char* password, int32_t keyBits) {
        payload_test::MemoryPayload payload;
        PayloadWriter& writer = payload.writer;
        EXPECT_TRUE(writer.setEncryption(password, keyBits));
        EXPECT_TRUE(writer.writeHeader());
        EXPECT_TRUE(writer.endSettings());
        EXPECT_TRUE(writer.writeEnd());
        m_bytes = payload.bytes();
        m_source.setData(m_bytes.data(), static_cast<uint32_t>(m_bytes.size()));
        g_archive.setSource(&m_source);
        EXPECT_TRUE(g_archive.findMarker());
        EXPECT_TRUE(g_archive.readHeader());
        EXPECT_TRUE(g_archive.readArgs());
        EXPECT_TRUE(g_archive.isEncrypted());
        EXPECT_EQ(g_archive.getKeyLength(), keyBits);
    }
    ~EncryptedPayload() { g_archive.setSource(nullptr); }

private:
    payload_test::Bytes m_bytes;
    MemoryDataSource m_source;
};

TEST_F(PasswordDialogTest, AskPasswordChecksTheTypedPasswordAgainstTheVerifier) {
    struct Case {
        const char* label;
        int32_t keyBits;
        const char* answers;
        bool accepted;
        bool incorrectShown;
    };
    const Case cases[] = {
        {"right, 128 bits", 128, "right one\n", true, false},
        {"right, 192 bits", 192, "right one\n", true, false},
        {"right, 256 bits", 256, "right one\n", true, false},
        {"wrong", 256, "wrong one\n", false, true},
        {"a prefix of the right one", 128, "right\n", false, true},
        {"empty: never tried", 128, "\n", false, false},
        {"cancelled", 192, "\x1b\n", false, false},
        {"closed by the end of input", 192, "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        g_saApp.m_password.clear();
        EncryptedPayload payload("right one", c.keyBits);
        dialog_test::ScriptedTerminal terminal(c.answers);
        EXPECT_EQ(askPassword(nullptr), c.accepted);
        const std::string shown = terminal.shown();
        EXPECT_NE(shown.find(STUB_TEXT_PASSWORD_PROMPT), std::string::npos) << shown;
        EXPECT_EQ(shown.find(kIncorrectPassword) != std::string::npos, c.incorrectShown) << shown;
    }
}

// Accepted or not, the typed text does not outlive the check: the
// application's copy is overwritten, not only emptied.
TEST_F(PasswordDialogTest, AskPasswordWipesTheTypedPasswordAfterTheCheck) {
    for (const char* answers : {"right one\n", "wrong one\n"}) {
        SCOPED_TRACE(answers);
        EncryptedPayload payload("right one", 128);
        dialog_test::ScriptedTerminal terminal(answers);
        askPassword(nullptr);
        EXPECT_EQ(g_saApp.m_password.getSize(), 0);
        const char* block = g_saApp.m_password.getString();
        for (int32_t i = 0; i < g_saApp.m_password.getCapacity(); ++i)
            ASSERT_EQ(block[i], '\0') << "byte " << i;
    }
}

}  // namespace

#endif  // _WIN32
