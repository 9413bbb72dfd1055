#pragma once
// Exit codes of the stub process.

// The main dialog was closed (the message loop's WM_QUIT code).
constexpr int kExitDialogClosed = 0;
// A silent run finished, or the hidden window could not be created.
constexpr int kExitSilentRunDone = 1;
// A silent run stopped before the end of the payload: the archive is damaged
// or incomplete, or its files could not all be written. No setup program was
// launched.
constexpr int kExitSilentRunIncomplete = 2;
// A silent run wrote every entry, but the setup program could not be started
// (it is not in the destination, or the system refused to run it).
constexpr int kExitSetupNotStarted = 3;
// With the setting waitForSetup, a silent run that started the setup program
// and waited for its end exits with the setup program's own exit code
// instead of kExitSilentRunDone (2 and 3 keep their meaning only when the
// setup program was not started).

// The installer's own options (app/InstallerOptions.h):
// --help shown; --list listed a sound payload; --check found it sound.
constexpr int kExitOptionRunDone = 0;
// --list or --check met damage (or a payload that cannot be read at all):
// the same code as a silent run that stopped at damage.
constexpr int kExitPayloadDamaged = kExitSilentRunIncomplete;
// --list, --check or --target of an encrypted payload: the password was
// not given (cancelled, empty) or not accepted. Nothing was written.
constexpr int kExitPasswordNotAccepted = 4;
// The command line cannot be carried out (--target without a folder):
// nothing was done.
constexpr int kExitCommandLineError = 5;
