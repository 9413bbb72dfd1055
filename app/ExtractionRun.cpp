#include "app/ExtractionRun.h"

#include <cstring>

#include "app/DiagnosticLog.h"
#include "app/ErrorReport.h"
#include "app/PasswordDialog.h"
#include "app/SetupWait.h"
#include "app/StubGlobals.h"
#include "core/XString.h"
#include "io/FileSystem.h"
#include "platform/SafeFileOps.h"
#include "resources/StubResources.h"

namespace {

constexpr char kTempPlaceholder[] = "%temp%";
constexpr char kTempFolderPrefix[] = "bvz";
constexpr char kDamagedArchiveMessage[] = STUB_TEXT_DAMAGED_ARCHIVE;
constexpr char kWriteFailedMessage[] = STUB_TEXT_WRITE_FAILED;
constexpr char kNoTempFolderMessage[] = STUB_TEXT_NO_TEMP_FOLDER;
constexpr char kShellOpenVerb[] = "open";
// The shell reports failure (ShellExecuteExA's hInstApp) with a value of 32
// or less.
constexpr INT_PTR kShellExecuteMaxError = 32;
// The current-directory query that the setup program's path is built on.
constexpr DWORD kCurrentDirChars = 1024;

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
    if (!g_saApp.m_encrypted || g_saApp.m_passwordAccepted) return true;
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
    showError(window, destinationEntered ? incompleteReason() : kWriteFailedMessage);
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// A name that gives its own place: a leading separator or a drive letter and
// colon.
bool isAbsoluteName(const char* name) { return isSeparator(name[0]) || (name[0] != 0 && name[1] == ':'); }

// A ".." component would lead out of the destination.
bool climbsOut(const char* name) {
    for (const char* component = name; *component != 0;) {
        const char* end = component;
        while (*end != 0 && !isSeparator(*end)) ++end;
        if (end - component == 2 && component[0] == '.' && component[1] == '.') return true;
        component = *end != 0 ? end + 1 : end;
    }
    return false;
}

// The setup program as a full path in the destination, which is the current
// directory by now. Handing the shell a bare name would let it search the
// installer's own folder, the system folders and PATH, where someone else's
// program of that name may be waiting. False when there is no such file.
bool resolveSetupProgram(const StringBuffer& setupFilename, StringBuffer& program) {
    const char* name = setupFilename.getString();
    if (climbsOut(name)) return false;
    if (isAbsoluteName(name)) {
        program.setString(name);
    } else {
        char currentDir[kCurrentDirChars] = {0};
        const DWORD length = GetCurrentDirectoryA(kCurrentDirChars, currentDir);
        if (length == 0 || length >= kCurrentDirChars) return false;
        program.setString(currentDir);
        if (!isSeparator(program.lastChar())) program.appendChar('\\');
        program.append(name);
    }
    const DWORD attributes = GetFileAttributesA(program.getString());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Starts the program with the shell in the current directory. With
// waitForSetup the shell hands back the process (null when it started
// none of its own, for example a document opened in a running program).
bool startProgram(HWND window, const StringBuffer& program, HANDLE& process) {
    char currentDir[kCurrentDirChars] = {0};
    GetCurrentDirectoryA(kCurrentDirChars, currentDir);
    SHELLEXECUTEINFOA request;
    std::memset(&request, 0, sizeof request);
    request.cbSize = sizeof request;
    request.fMask = g_saApp.m_waitForSetup ? SEE_MASK_NOCLOSEPROCESS : 0;
    request.hwnd = window;
    request.lpVerb = kShellOpenVerb;
    request.lpFile = program.getString();
    request.lpParameters = g_saApp.m_setupParams.getSize() != 0 ? g_saApp.m_setupParams.getString() : nullptr;
    request.lpDirectory = currentDir;
    request.nShow = SW_SHOWNORMAL;
    const BOOL started = ShellExecuteExA(&request);
    process = request.hProcess;
    return started && reinterpret_cast<INT_PTR>(request.hInstApp) > kShellExecuteMaxError;
}

// True when there is nothing to launch or the setup program was started;
// process is its handle when the run is to wait for it, else null.
bool launchSetup(HWND window, HANDLE& process) {
    process = nullptr;
    const StringBuffer& setupFilename = g_saApp.m_setupFilename;
    if (setupFilename.getSize() == 0) return true;
    writeDiagnosticLines("", setupFilename);

    StringBuffer program;
    if (resolveSetupProgram(setupFilename, program) && startProgram(window, program, process)) return true;
    if (process != nullptr) CloseHandle(process);
    process = nullptr;

    StringBuffer message(STUB_TEXT_RUN_FAILED_BEFORE);
    message.appendSb(setupFilename);
    message.append(STUB_TEXT_RUN_FAILED_AFTER);
    showError(window, message.getString());
    return false;
}

// The run extracts into a folder of its own making when no folder is
// configured, or when the dialog's proposal of one was left as it stood.
bool usesGeneratedFolder() {
    const StringBuffer& unzipDir = g_saApp.m_unzipDir;
    return unzipDir.getSize() == 0 ||
           (g_saApp.m_proposedTempDir.getSize() != 0 &&
            std::strcmp(unzipDir.getString(), g_saApp.m_proposedTempDir.getString()) == 0);
}

// Creates the generated folder: the proposed name when it is still free,
// else a new one. The dialog's field then shows the folder actually used.
bool createGeneratedFolder(HWND window, StringBuffer& destination) {
    bool created = false;
    if (g_saApp.m_proposedTempDir.getSize() != 0) {
        XString proposed;
        proposed.setFromUtf8(g_saApp.m_proposedTempDir.getString());
        created = createPrivateDirectoryW(reinterpret_cast<LPCWSTR>(proposed.getUtf16())) != FALSE;
        if (created) destination.setString(g_saApp.m_proposedTempDir.getString());
    }
    if (!created && !makePrivateTempDir(kTempFolderPrefix, destination)) return false;
    if (window != nullptr) SetDlgItemTextA(window, IDC_FOLDER_EDIT, destination.getString());
    return true;
}

// Waits for the setup program's end and keeps its exit code for the silent
// run's own. False when the wait was given up (the dialog was closed).
bool awaitSetup(HWND window, HANDLE process) {
    const bool ended = waitForProcess(window, process);
    DWORD exitCode = 0;
    if (ended && GetExitCodeProcess(process, &exitCode)) {
        g_saApp.m_setupEnded = true;
        g_saApp.m_setupExitCode = exitCode;
    }
    CloseHandle(process);
    return ended;
}

// Removes the folder this run created for itself, after leaving it (a
// folder that is the current directory cannot be removed on Windows). What
// cannot be removed stays; the run's outcome does not change.
void removeGeneratedFolder(const StringBuffer& destination) {
    XString tempDir;
    getTempDir(tempDir);
    setCurrentDir(tempDir);
    XString folder;
    folder.setFromUtf8(destination.getString());
    removeTreeW(reinterpret_cast<LPCWSTR>(folder.getUtf16()));
}

}  // namespace

void settleDestination(const StringBuffer& unzipDir, StringBuffer& destination) {
    destination.setString(unzipDir.getString());
    substituteTempFolder(destination);
    foldSlashes(destination);
}

const char* incompleteReason() {
    const SimpleArchive::Failure failure = g_archive.getFailure();
    const bool writeFailed =
        failure == SimpleArchive::Failure::CannotCreate || failure == SimpleArchive::Failure::WriteFailed;
    return writeFailed ? kWriteFailedMessage : kDamagedArchiveMessage;
}

bool proposeTempFolder(StringBuffer& folder) { return randomTempDirName(kTempFolderPrefix, folder); }

ExtractionOutcome runExtraction(HWND window) {
    if (window != nullptr) EnableWindow(GetDlgItem(window, IDC_UNZIP_BUTTON), FALSE);

    // A silent run of an encrypted payload extracts nothing; but when what
    // stands where the verifier should be cannot be one, it is the header's
    // encryption flag that is damaged.
    if (window == nullptr && g_saApp.m_encrypted && !g_saApp.m_passwordAccepted &&
        !g_archive.verifierIsWellFormed()) {
        return ExtractionOutcome::Incomplete;
    }
    if (!askForPasswordIfEncrypted(window)) return ExtractionOutcome::NotStarted;
    // Damaged settings (a destination among them) must create nothing.
    if (!g_archive.checkSettings()) {
        reportIncomplete(window, true);
        return ExtractionOutcome::Incomplete;
    }

    StringBuffer destination;
    const bool generatedFolder = usesGeneratedFolder();
    if (generatedFolder) {
        if (!createGeneratedFolder(window, destination)) {
            if (window != nullptr) showError(window, kNoTempFolderMessage);
            return ExtractionOutcome::Incomplete;
        }
    } else {
        settleDestination(g_saApp.m_unzipDir, destination);
    }
    if (!enterDestination(destination)) {
        reportIncomplete(window, false);
        return ExtractionOutcome::Incomplete;
    }
    const bool extracted = extractAll(window);
    g_progress.onPayloadRead(extracted);
    if (!extracted) {
        reportIncomplete(window, true);
        return ExtractionOutcome::Incomplete;
    }
    HANDLE setupProcess = nullptr;
    if (!launchSetup(window, setupProcess)) return ExtractionOutcome::SetupNotStarted;
    if (setupProcess != nullptr && awaitSetup(window, setupProcess) && g_saApp.m_cleanupAfterSetup &&
        generatedFolder) {
        removeGeneratedFolder(destination);
    }
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
