#include "app/InstallerOptionRun.h"

#include "app/EntryListing.h"
#include "app/ErrorReport.h"
#include "app/ExitCodes.h"
#include "app/PasswordDialog.h"
#include "app/StubGlobals.h"
#include "core/XString.h"

namespace {

constexpr char kUsageText[] =
    "Usage: installer [options] [-- arguments for the setup program]\n"
    "\n"
    "  --help        show this text\n"
    "  --list        list the entries (decoded and verified, nothing written)\n"
    "  --check       decode and verify everything without writing\n"
    "  --target DIR  extract into DIR without the dialog\n"
    "  --noexec      do not start the setup program\n"
    "  --quiet       no progress output\n"
    "  --            hand the arguments that follow on to the setup program\n"
    "\n"
    "Exit codes:\n"
    "  0  help shown; listed, or checked, and sound\n"
    "  1  extracted without the dialog\n"
    "  2  damaged or incomplete\n"
    "  3  the setup program could not be started\n"
    "  4  the password was not given or not accepted\n"
    "  5  bad command line\n"
    "  with waitForSetup: the setup program's own exit code\n";

constexpr char kTargetWithoutFolderMessage[] = "--target needs a folder.";
constexpr char kExtractingLabel[] = "Extracting";
constexpr char kCheckingLabel[] = "Checking";

}  // namespace

InstallerOptionRun::InstallerOptionRun(const InstallerOptions& options) : m_options(options) {}

InstallerOptionRun::~InstallerOptionRun() {
    sendErrorsTo(nullptr);
    g_progress.setPercentDisplay(nullptr);
    delete m_progress;
}

void InstallerOptionRun::prepare() {
    if (!m_options.writesText()) return;
    m_console.open();
    sendErrorsTo(&m_console);
}

bool InstallerOptionRun::inForce() const { return m_options.anyGiven() && g_saApp.m_allowCommandLine; }

bool InstallerOptionRun::takeOver(HWND owner, bool configured) {
    if (!inForce()) {
        // The publisher turned the options off: the run is the usual one,
        // errors in message boxes.
        sendErrorsTo(nullptr);
        return false;
    }
    if (m_options.help) {
        finish(owner, showUsage(owner));
    } else if (m_options.error != InstallerOptions::Error::None) {
        finish(owner, reportCommandLineError(owner));
    } else if (m_options.list || m_options.check) {
        finish(owner, verifyPayload(owner, configured));
    } else if (m_options.hasTarget && configured && !askPasswordIfEncrypted(owner)) {
        finish(owner, kExitPasswordNotAccepted);
    } else {
        applyToRun(owner);
        return false;
    }
    return true;
}

void InstallerOptionRun::finish(HWND owner, int exitCode) {
    if (m_progress != nullptr) m_progress->showEnd(false);
    m_console.finish(owner, caption());
    g_saApp.m_optionRunEnded = true;
    g_saApp.m_optionRunExitCode = exitCode;
}

const char* InstallerOptionRun::caption() const {
    return g_saApp.m_appTitle.getSize() != 0 ? g_saApp.m_appTitle.getString() : g_windowTitle;
}

int InstallerOptionRun::showUsage(HWND owner) {
    (void)owner;
    m_console.writeOutput(kUsageText);
    return kExitOptionRunDone;
}

int InstallerOptionRun::reportCommandLineError(HWND owner) {
    showError(owner, kTargetWithoutFolderMessage);
    m_console.writeError(kUsageText);
    return kExitCommandLineError;
}

bool InstallerOptionRun::askPasswordIfEncrypted(HWND owner) {
    if (!g_saApp.m_encrypted) return true;
    if (!askPassword(owner)) return false;
    g_saApp.m_passwordAccepted = true;
    return true;
}

void InstallerOptionRun::showProgressAs(const char* label) {
    if (m_options.quiet || !m_console.hasStreams()) return;
    m_progress = new ConsoleProgress(m_console, label);
    g_progress.setPercentDisplay(m_progress);
}

// --list and --check: every entry is read, deciphered, inflated and checked
// as the extraction does it, and nothing is created.
int InstallerOptionRun::verifyPayload(HWND owner, bool configured) {
    // The reason has been shown by loadConfiguration.
    if (!configured) return kExitPayloadDamaged;
    if (!askPasswordIfEncrypted(owner)) return kExitPasswordNotAccepted;

    EntryLister lister(m_console, m_options.list);
    g_archive.setEntryAction(SimpleArchive::EntryAction::VerifyOnly);
    g_archive.setEntryObserver(&lister);
    if (!m_options.list) showProgressAs(kCheckingLabel);
    lister.writeHeading();
    const bool sound = g_archive.checkSettings() && extractAll(nullptr);
    g_archive.setEntryObserver(nullptr);
    if (m_progress != nullptr) m_progress->showEnd(sound);
    delete m_progress;
    m_progress = nullptr;
    g_progress.setPercentDisplay(nullptr);

    StringBuffer summary(sound ? (m_options.list ? "" : "Sound: ") : "Verified before the damage: ");
    lister.appendSummary(summary);
    m_console.writeOutput(summary.getString());
    if (!sound) {
        showError(owner, incompleteReason());
        return kExitPayloadDamaged;
    }
    return kExitOptionRunDone;
}

// --target DIR: a silent extraction into DIR, as if the payload's settings
// said unzipDir = DIR and noInterface = true (the folder is the user's:
// never a generated one, so cleanupAfterSetup never removes it).
void InstallerOptionRun::applyToRun(HWND owner) {
    (void)owner;
    if (m_options.hasTarget) {
        g_saApp.m_unzipDir.setString(m_options.target.getString());
        g_saApp.m_noInterface = true;
        showProgressAs(kExtractingLabel);
    }
    if (m_options.noexec) g_saApp.m_setupFilename.clear();
    if (m_options.hasPassthrough && m_options.passthrough.getSize() != 0) {
        // The parameters go to the shell as ANSI text (ShellExecuteExA),
        // which it turns back into UTF-16 for the program: the arguments,
        // read in UTF-16, are handed over in the ANSI code page.
        XString arguments;
        arguments.setFromUtf8(m_options.passthrough.getString());
        if (g_saApp.m_setupParams.getSize() != 0) g_saApp.m_setupParams.appendChar(' ');
        g_saApp.m_setupParams.append(arguments.getAnsi());
    }
}

void InstallerOptionRun::reportSilentRun(ExtractionOutcome outcome) {
    if (m_progress != nullptr) m_progress->showEnd(outcome != ExtractionOutcome::Incomplete);
    // Without a console a silent run reports through its exit code alone.
    if (outcome == ExtractionOutcome::Incomplete && m_console.hasStreams())
        showError(nullptr, incompleteReason());
}
