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
