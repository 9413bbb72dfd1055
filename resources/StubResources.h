/* Resource identifiers, texts and dialog layouts of the stub: the one source
   for resources/stub.rc (the Windows executable's resources) and for the
   Linux build, whose POSIX layer renders the same dialogs in a terminal and
   whose entry registers the same string table.

   Plain C preprocessor only: the resource compiler reads this file.
   Positions and sizes are dialog units (x, y, width, height); the dialogs
   use "MS Sans Serif" at 8 points. */
#ifndef BRIVANE_STUB_RESOURCES_H
#define BRIVANE_STUB_RESOURCES_H

/* ---- String table ------------------------------------------------------ */
#define IDS_APP_TITLE 103    /* title of the hidden window */
#define IDS_WINDOW_CLASS 109 /* class name of the hidden window; also its menu id */

#define STUB_TEXT_APP_TITLE "Brivane Unpacker"
#define STUB_TEXT_WINDOW_CLASS "SELFEXTRACT"

/* ---- Icon -------------------------------------------------------------- */
/* The lowest icon id is the one the shell shows for the executable. */
#define IDI_STUB_ICON 1

/* ---- Dialogs ----------------------------------------------------------- */
#define IDD_MAIN_DIALOG 129
#define IDD_PASSWORD_DIALOG 130

#define STUB_DIALOG_FONT_NAME "MS Sans Serif"
#define STUB_DIALOG_FONT_POINTS 8

/* A static control without its own id. */
#define IDC_STATIC_TEXT (-1)

/* Command of the hidden window that destroys it */
#define IDM_EXIT 105

/* ---- Dialog 129: the main dialog --------------------------------------- */
#define STUB_TEXT_MAIN_CAPTION "Brivane Zip Self-Extractor"
#define STUB_MAIN_DIALOG_X 0
#define STUB_MAIN_DIALOG_Y 0
#define STUB_MAIN_DIALOG_WIDTH 321
#define STUB_MAIN_DIALOG_HEIGHT 94

/* Unzip: the default push button. */
#define IDC_UNZIP_BUTTON 1001
#define STUB_TEXT_UNZIP "Unzip"
#define STUB_UNZIP_RECT 264, 7, 50, 14

/* Close: the cancel button (IDCANCEL, also sent by Esc). */
#define IDC_CLOSE_BUTTON 2
#define STUB_TEXT_CLOSE "Close"
#define STUB_CLOSE_RECT 264, 24, 50, 14

/* The explanation; the appCaption setting replaces it. */
#define IDC_CAPTION_TEXT 1012
#define STUB_TEXT_EXPLANATION "To unzip all files to the specified folder, press the Unzip button."
#define STUB_EXPLANATION_RECT 7, 7, 254, 26

#define STUB_TEXT_FOLDER_LABEL "Unzip to folder:"
#define STUB_FOLDER_LABEL_RECT 7, 31, 144, 11

/* The destination folder: bordered edit, scrolls horizontally. */
#define IDC_FOLDER_EDIT 1003
#define STUB_FOLDER_EDIT_RECT 7, 44, 206, 13

#define IDC_BROWSE_BUTTON 1004
#define STUB_TEXT_BROWSE "Browse"
#define STUB_BROWSE_RECT 217, 44, 41, 14

/* The progress bar (common-controls class, range 0 to 100). */
#define IDC_PROGRESS_BAR 1008
#define STUB_PROGRESS_CLASS "msctls_progress32"
#define STUB_TEXT_PROGRESS "Progress1"
#define STUB_PROGRESS_RECT 7, 74, 307, 13

/* A status line that nothing writes. */
#define IDC_STATUS_TEXT 1009
#define STUB_STATUS_RECT 7, 63, 92, 10

/* Right-aligned; shows STUB_TEXT_FINISHED after a run. */
#define IDC_FINISHED_TEXT 1013
#define STUB_FINISHED_RECT 261, 61, 53, 11
#define STUB_TEXT_FINISHED "Finished!"

/* ---- Dialog 130: the password dialog ----------------------------------- */
#define STUB_TEXT_PASSWORD_CAPTION "Enter Password"
#define STUB_PASSWORD_DIALOG_X 0
#define STUB_PASSWORD_DIALOG_Y 0
#define STUB_PASSWORD_DIALOG_WIDTH 246
#define STUB_PASSWORD_DIALOG_HEIGHT 47

#define IDC_OK_BUTTON 1
#define STUB_TEXT_OK "OK"
#define STUB_OK_RECT 189, 7, 50, 14

#define IDC_CANCEL_BUTTON 2
#define STUB_TEXT_CANCEL "Cancel"
#define STUB_CANCEL_RECT 189, 26, 50, 14

#define STUB_TEXT_PASSWORD_PROMPT "This self-extracting EXE is encrypted. Enter a password to unzip:"
#define STUB_PASSWORD_PROMPT_RECT 7, 7, 120, 20

/* A plain edit: the typed password is visible. */
#define IDC_PASSWORD_EDIT 1007
#define STUB_PASSWORD_EDIT_RECT 7, 29, 161, 12

/* ---- Folder browser ---------------------------------------------------- */
#define STUB_TEXT_BROWSE_TITLE "Please select a folder."

/* ---- Message boxes (caption STUB_TEXT_ERROR_CAPTION, one OK button) ----- */
#define STUB_TEXT_ERROR_CAPTION "Error"
#define STUB_TEXT_INCORRECT_PASSWORD "Incorrect password."
#define STUB_TEXT_DAMAGED_ARCHIVE "The archive is damaged or incomplete."
#define STUB_TEXT_WRITE_FAILED "Failed to write the extracted files."
#define STUB_TEXT_NO_TEMP_FOLDER "Failed to create a new temporary folder."
/* "Failed to run <setupFilename> (check to see if this file is in the EXE)" */
#define STUB_TEXT_RUN_FAILED_BEFORE "Failed to run "
#define STUB_TEXT_RUN_FAILED_AFTER " (check to see if this file is in the EXE)"
/* Reading the stub's own file and its payload settings; the first is
   followed by the path of the file. */
#define STUB_TEXT_OPEN_EXE_FAILED "Failed to open EXE: "
#define STUB_TEXT_FILE_SIZE_FAILED "Failed to get file size."
#define STUB_TEXT_NO_MARKER "Failed to find marker."
#define STUB_TEXT_BAD_HEADER "Failed to read internal header."
#define STUB_TEXT_BAD_ARGS "Failed to read internal args."

#endif
