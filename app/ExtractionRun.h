#pragma once
// The extraction run: password (encrypted payloads), destination folder,
// extraction of every entry, and the launch of the setup program from the
// destination.

#include "core/StringBuffer.h"
#include "platform/win32.h"

enum class ExtractionOutcome {
    // Nothing was extracted: an encrypted payload in a silent run, or the
    // password was not given or not accepted.
    NotStarted,
    // The end of the payload was reached with every entry written; the setup
    // program (if any) has been launched. With waitForSetup the run waited
    // for its end (its exit code is in SaApp), and with cleanupAfterSetup it
    // then removed the folder it had generated for itself.
    Completed,
    // Every entry was written, but the setup program could not be started
    // (it is not in the destination, or the system refused to run it); the
    // reason has been shown.
    SetupNotStarted,
    // The extraction stopped early (damaged or incomplete archive, files
    // that could not be written, or a destination folder that could be
    // neither created nor entered: then nothing is extracted). What was
    // extracted stays; no setup program is launched. With a window the
    // reason has been shown.
    Incomplete,
};

// Runs the extraction with the main dialog as window, or with none in a
// silent run. With a window, its Unzip button is disabled for good, and a
// refused password ends the dialog and the message loop.
ExtractionOutcome runExtraction(HWND window);

// Sets the dialog's progress bar to 0 (with a window), then extracts entries
// until the end record or a failure. True when the end record was reached
// with every entry complete.
bool extractAll(HWND window);

// A configured destination folder as the run uses it: every "%temp%" (any
// letter case) replaced by the temporary-files folder, '\' turned into '/'
// and "//" folded to "/" in one left-to-right pass.
//
// With no folder configured (or the dialog's proposal left unchanged) the run
// creates a new private folder in the temporary-files folder, "bvz_" and four
// random characters, exclusively: it never enters a folder that someone else
// made or a link that someone else put at the name.
void settleDestination(const StringBuffer& unzipDir, StringBuffer& destination);

// Why the last extraction stopped early, as the dialog says it: "Failed to
// write the extracted files." when an entry could not be created or
// written, else "The archive is damaged or incomplete.".
const char* incompleteReason();

// A generated temporary folder's name for the dialog to show (not created:
// the run creates it). False when no random name could be had.
bool proposeTempFolder(StringBuffer& folder);
