#include "app/ExtractionRun.h"

#include "app/DiagnosticLog.h"
#include "app/PasswordDialog.h"
#include "app/StubGlobals.h"
#include "core/XString.h"
#include "io/FileSystem.h"
#include "resources/StubResources.h"

namespace {

constexpr char kErrorCaption[] = "Error";
constexpr char kTempPlaceholder[] = "%temp%";
constexpr char kTempFolderPrefix[] = "bvz";
constexpr char kDamagedArchiveMessage[] = "The archive is damaged or incomplete.";
constexpr char kWriteFailedMessage[] = "Failed to write the extracted files.";
constexpr char kShellOpenVerb[] = "open";
// ShellExecuteA reports failure with a value of 32 or less.
constexpr INT_PTR kShellExecuteMaxError = 32;

void substituteTempFolder(StringBuffer& destination) {
    if (!destination.containsSubstringNoCase(kTempPlaceholder)) return;
    XString tempDir;
    getTempDir(tempDir);
    destination.replaceAllNoCase(kTempPlaceholder, tempDir.getUtf8());
}

void foldSlashes(StringBuffer& destination) {
    destination.replaceChar('\\', '/');
    destination.replaceAllOccurrences("//", "/");
}

// Cuts ".tmp" (everything from the last '.') off a generated name.
void removeExtension(StringBuffer& name) {
    if (!name.containsChar('.')) return;
    while (name.lastChar() != '.') name.shorten(1);
    name.shorten(1);
}

bool enterFolder(const StringBuffer& destination, XString& utf8Path) {
    return SetCurrentDirectoryA(destination.getString()) || setCurrentDir(utf8Path);
}

// Makes the destination the current directory, creating it when entering it
// fails. False when the folder can be neither created nor entered: the run
// then stops, rather than writing the payload's files into whatever folder
// the installer was started from (they could overwrite the user's files
// there). An empty destination keeps the current directory.
bool enterDestination(const StringBuffer& destination) {
    makeDirTreeKeepCwd(destination.getString(), nullptr);
    if (destination.getSize() == 0) return true;
    XString utf8Path;
    utf8Path.setFromUtf8(destination.getString());
    if (enterFolder(destination, utf8Path)) return true;

    makeDirTreeKeepCwd(destination.getString(), nullptr);
    if (!CreateDirectoryA(destination.getString(), nullptr)) {
        XString ansiPath;
        ansiPath.setFromAnsi(destination.getString());
        if (!createDir(ansiPath, nullptr)) createDir(utf8Path, nullptr);
    }
    return enterFolder(destination, utf8Path);
}

// True when the extraction may go on.
bool askForPasswordIfEncrypted(HWND window) {
    if (!g_saApp.m_encrypted) return true;
    // A silent run cannot ask: it extracts nothing.
    if (window == nullptr) return false;
    if (askPassword(window)) return true;
    EndDialog(window, 0);
    PostQuitMessage(0);
    return false;
}

void reportIncomplete(HWND window, bool destinationEntered) {
    // A silent run reports through its exit code only.
    if (window == nullptr) return;
    const bool writeFailed = !destinationEntered ||
                             g_archive.getFailure() == SimpleArchive::Failure::CannotCreate ||
                             g_archive.getFailure() == SimpleArchive::Failure::WriteFailed;
    MessageBoxA(window, writeFailed ? kWriteFailedMessage : kDamagedArchiveMessage, kErrorCaption,
                MB_OK);
}

void launchSetup(HWND window, const StringBuffer& destination) {
    const StringBuffer& setupFilename = g_saApp.m_setupFilename;
    if (setupFilename.getSize() == 0) return;
    writeDiagnosticLines("", setupFilename);

    const char* parameters =
        g_saApp.m_setupParams.getSize() != 0 ? g_saApp.m_setupParams.getString() : nullptr;
    HINSTANCE result = ShellExecuteA(window, kShellOpenVerb, setupFilename.getString(), parameters,
                                     destination.getString(), SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) > kShellExecuteMaxError) return;

    StringBuffer message("Failed to run ");
    message.appendSb(setupFilename);
    message.append(" (check to see if this file is in the EXE)");
    MessageBoxA(window, message.getString(), kErrorCaption, MB_OK);
}

}  // namespace

void settleDestination(const StringBuffer& unzipDir, StringBuffer& destination) {
    destination.clear();
    if (unzipDir.getSize() != 0) {
        destination.setString(unzipDir.getString());
        substituteTempFolder(destination);
        foldSlashes(destination);
        return;
    }
    tempNameInTempDir(kTempFolderPrefix, destination);
    removeExtension(destination);
}

ExtractionOutcome runExtraction(HWND window) {
    if (window != nullptr) EnableWindow(GetDlgItem(window, IDC_UNZIP_BUTTON), FALSE);

    // A silent run of an encrypted payload extracts nothing; but when what
    // stands where the verifier should be cannot be one, it is the header's
    // encryption flag that is damaged.
    if (window == nullptr && g_saApp.m_encrypted && !g_archive.verifierIsWellFormed()) {
        return ExtractionOutcome::Incomplete;
    }
    if (!askForPasswordIfEncrypted(window)) return ExtractionOutcome::NotStarted;
    // Damaged settings (a destination among them) must create nothing.
    if (!g_archive.checkSettings()) {
        reportIncomplete(window, true);
        return ExtractionOutcome::Incomplete;
    }

    StringBuffer destination;
    settleDestination(g_saApp.m_unzipDir, destination);
    if (!enterDestination(destination)) {
        reportIncomplete(window, false);
        return ExtractionOutcome::Incomplete;
    }
    if (!extractAll(window)) {
        reportIncomplete(window, true);
        return ExtractionOutcome::Incomplete;
    }
    launchSetup(window, destination);
    return ExtractionOutcome::Completed;
}

bool extractAll(HWND window) {
    if (window != nullptr) {
        SendMessageA(GetDlgItem(window, IDC_PROGRESS_BAR), PBM_SETPOS, 0, 0);
    }
    for (;;) {
        bool finished = false;
        if (!g_archive.extractNext(finished, &g_progress)) return false;
        if (finished) return true;
    }
}
