#pragma once
// SaApp: the stub's application state, filled from the payload's settings at
// start-up and read by the extraction run and the dialogs.

#include <cstdint>

#include "core/StringBuffer.h"

class SaApp {
public:
    SaApp() = default;
    // Wipes the password (the object lives until the process ends).
    ~SaApp();

    SaApp(const SaApp&) = delete;
    SaApp& operator=(const SaApp&) = delete;

    // The run is silent (no window at all) when the settings ask for no
    // interface and say where to extract: a folder, or a temporary one.
    bool runsSilently() const;

    // Overwrites the typed password with zeros and empties it: called once
    // the payload reader has taken its copy and checked it.
    void forgetPassword();

    StringBuffer m_appTitle;           // "appTitle": caption of the main dialog
    StringBuffer m_appCaption;         // "appCaption": explanatory text of the main dialog
    StringBuffer m_setupFilename;      // "setupFilename": program launched after extraction
    StringBuffer m_setupParams;        // "setupParams": its command-line parameters
    StringBuffer m_unzipDir;           // "unzipDir", later the folder actually used
    StringBuffer m_proposedTempDir;    // the generated folder the dialog proposed, if any
    bool m_encrypted = false;          // the payload header's encryption flag
    bool m_noInterface = false;        // "noInterface" is "true" (any letter case)
    bool m_unzipToTemp = false;        // "unzipToTemp" is "true" (any letter case)
    StringBuffer m_password;           // typed in the password dialog
    bool m_waitForSetup = false;       // "waitForSetup" is "true": wait for the setup program's end
    bool m_cleanupAfterSetup = false;  // "cleanupAfterSetup" is "true": then remove the generated folder
    bool m_allowCommandLine = true;    // "allowCommandLine" is not "false": the installer's options count
    // The password was asked for and accepted before the run (an option
    // run): the run does not ask again.
    bool m_passwordAccepted = false;

    // Set when a silent run stopped before the end of the payload, so that
    // the process can end with its own exit code.
    bool m_silentRunIncomplete = false;
    // Set when a silent run wrote every entry but could not start the setup
    // program.
    bool m_setupNotStarted = false;
    // Set when the run waited for the setup program until it ended; its exit
    // code is then the silent run's.
    bool m_setupEnded = false;
    uint32_t m_setupExitCode = 0;
    // Set when the installer's options ended the process's work themselves
    // (--help, --list, --check, a command-line error) with this code.
    bool m_optionRunEnded = false;
    int m_optionRunExitCode = 0;
};
