/* Resource identifiers and texts of the stub, shared by resources/stub.rc
   and by the Linux build, which registers the same string table with the
   POSIX layer. Plain C preprocessor only: the resource compiler reads it. */
#ifndef BRIVANE_STUB_RESOURCES_H
#define BRIVANE_STUB_RESOURCES_H

/* String table */
#define IDS_APP_TITLE 103    /* title of the hidden window */
#define IDS_WINDOW_CLASS 109 /* class name of the hidden window; also its menu id */

#define STUB_TEXT_APP_TITLE "Brivane Unpacker"
#define STUB_TEXT_WINDOW_CLASS "SELFEXTRACT"

/* Dialogs */
#define IDD_MAIN_DIALOG 129
#define IDD_PASSWORD_DIALOG 130

/* Controls of the main dialog */
#define IDC_UNZIP_BUTTON 1001
#define IDC_FOLDER_EDIT 1003
#define IDC_BROWSE_BUTTON 1004
#define IDC_PROGRESS_BAR 1008
#define IDC_STATUS_TEXT 1009
#define IDC_CAPTION_TEXT 1012
#define IDC_FINISHED_TEXT 1013

/* Controls of the password dialog */
#define IDC_PASSWORD_EDIT 1007

/* Command of the hidden window that destroys it */
#define IDM_EXIT 105

#endif
