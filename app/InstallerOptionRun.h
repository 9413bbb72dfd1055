#pragma once
// InstallerOptionRun: carries out the installer's own command-line options
// (app/InstallerOptions.h) around the usual start-up.
//
// Start-up calls, in this order: prepare() before the configuration is
// loaded (so that its errors reach the console of a scripted run), then
// takeOver(). --help, --list, --check and a command-line error are run
// there and end the process's work; --target, --noexec and "--" are applied
// to the application state, and start-up goes on to the silent run (or the
// dialog), after which reportSilentRun() ends the progress line and says
// why a run stopped. The options count only when the payload's setting
// "allowCommandLine" is not "false"; without recognised options nothing
// differs from a start without arguments.
//
// Encrypted payloads: --list, --check and --target ask for the password
// with the password dialog (over the hidden window) before anything is
// read; a refused or missing password ends the run with
// kExitPasswordNotAccepted. A silent run configured in the payload still
// extracts nothing without a password, as it always has.

#include "app/ConsoleOutput.h"
#include "app/ConsoleProgress.h"
#include "app/ExtractionRun.h"
#include "app/InstallerOptions.h"
#include "platform/win32.h"

class InstallerOptionRun {
public:
    // options is borrowed for the object's life.
    explicit InstallerOptionRun(const InstallerOptions& options);
    // Errors go to message boxes again.
    ~InstallerOptionRun();

    InstallerOptionRun(const InstallerOptionRun&) = delete;
    InstallerOptionRun& operator=(const InstallerOptionRun&) = delete;

    // With options that write text: finds the console and sends errors there.
    void prepare();

    // After loadConfiguration (configured: its result). True when the
    // options ended the work: g_saApp.m_optionRunEnded and its exit code are
    // then set. False when start-up goes on, with --target, --noexec, "--"
    // and --quiet applied (or with the options off).
    bool takeOver(HWND owner, bool configured);

    // After the silent run of --target: the progress line is ended and, on
    // a console, the reason of an early stop is written.
    void reportSilentRun(ExtractionOutcome outcome);

private:
    bool inForce() const;
    int showUsage(HWND owner);
    int reportCommandLineError(HWND owner);
    int verifyPayload(HWND owner, bool configured);
    bool askPasswordIfEncrypted(HWND owner);
    void applyToRun(HWND owner);
    void showProgressAs(const char* label);
    void finish(HWND owner, int exitCode);
    const char* caption() const;

    const InstallerOptions& m_options;
    ConsoleOutput m_console;
    ConsoleProgress* m_progress = nullptr;
};
