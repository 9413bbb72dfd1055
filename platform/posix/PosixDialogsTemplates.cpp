// The program's two dialog templates, built from the same identifiers, texts
// and positions as the Windows resource script (resources/stub.rc), in the
// same order, so that the terminal shows what the real dialogs show.
#include "platform/posix/PosixDialogs.h"
#include "resources/StubResources.h"

namespace {

using posix_layer::ControlKind;
using posix_layer::DialogTemplate;
using posix_layer::DialogUnitsBox;

constexpr char kButtonClass[] = "Button";
constexpr char kStaticClass[] = "Static";
constexpr char kEditClass[] = "Edit";

const DialogTemplate& mainDialog() {
    static const DialogTemplate dialog{
        IDD_MAIN_DIALOG,
        STUB_TEXT_MAIN_CAPTION,
        DialogUnitsBox{STUB_MAIN_DIALOG_X, STUB_MAIN_DIALOG_Y, STUB_MAIN_DIALOG_WIDTH,
                       STUB_MAIN_DIALOG_HEIGHT},
        {
            {IDC_UNZIP_BUTTON, ControlKind::DefaultButton, kButtonClass, STUB_TEXT_UNZIP,
             DialogUnitsBox{STUB_UNZIP_RECT}},
            {IDC_CLOSE_BUTTON, ControlKind::Button, kButtonClass, STUB_TEXT_CLOSE,
             DialogUnitsBox{STUB_CLOSE_RECT}},
            {IDC_CAPTION_TEXT, ControlKind::Static, kStaticClass, STUB_TEXT_EXPLANATION,
             DialogUnitsBox{STUB_EXPLANATION_RECT}},
            {IDC_STATIC_TEXT, ControlKind::Static, kStaticClass, STUB_TEXT_FOLDER_LABEL,
             DialogUnitsBox{STUB_FOLDER_LABEL_RECT}},
            {IDC_FOLDER_EDIT, ControlKind::Edit, kEditClass, "", DialogUnitsBox{STUB_FOLDER_EDIT_RECT}},
            {IDC_BROWSE_BUTTON, ControlKind::Button, kButtonClass, STUB_TEXT_BROWSE,
             DialogUnitsBox{STUB_BROWSE_RECT}},
            {IDC_PROGRESS_BAR, ControlKind::ProgressBar, STUB_PROGRESS_CLASS, STUB_TEXT_PROGRESS,
             DialogUnitsBox{STUB_PROGRESS_RECT}},
            {IDC_STATUS_TEXT, ControlKind::Static, kStaticClass, "", DialogUnitsBox{STUB_STATUS_RECT}},
            {IDC_FINISHED_TEXT, ControlKind::Static, kStaticClass, "", DialogUnitsBox{STUB_FINISHED_RECT}},
        },
        // The folder: a typed line replaces it, an empty line presses Unzip.
        {IDC_FOLDER_EDIT, false, false},
    };
    return dialog;
}

const DialogTemplate& passwordDialog() {
    static const DialogTemplate dialog{
        IDD_PASSWORD_DIALOG,
        STUB_TEXT_PASSWORD_CAPTION,
        DialogUnitsBox{STUB_PASSWORD_DIALOG_X, STUB_PASSWORD_DIALOG_Y, STUB_PASSWORD_DIALOG_WIDTH,
                       STUB_PASSWORD_DIALOG_HEIGHT},
        {
            {IDC_STATIC_TEXT, ControlKind::Static, kStaticClass, STUB_TEXT_PASSWORD_PROMPT,
             DialogUnitsBox{STUB_PASSWORD_PROMPT_RECT}},
            {IDC_PASSWORD_EDIT, ControlKind::Edit, kEditClass, "", DialogUnitsBox{STUB_PASSWORD_EDIT_RECT}},
            {IDC_OK_BUTTON, ControlKind::DefaultButton, kButtonClass, STUB_TEXT_OK,
             DialogUnitsBox{STUB_OK_RECT}},
            {IDC_CANCEL_BUTTON, ControlKind::Button, kButtonClass, STUB_TEXT_CANCEL,
             DialogUnitsBox{STUB_CANCEL_RECT}},
        },
        // The password: the typed line is the text and presses OK.
        {IDC_PASSWORD_EDIT, true, true},
    };
    return dialog;
}

// A resource named by number carries it in the pointer's low word, with the
// rest zero.
constexpr uintptr_t kLargestResourceNumber = 0xFFFF;

}  // namespace

namespace posix_layer {

const DialogTemplate* findDialogTemplate(LPCSTR templateName) {
    const uintptr_t number = reinterpret_cast<uintptr_t>(templateName);
    if (number == 0 || number > kLargestResourceNumber) return nullptr;
    if (number == IDD_MAIN_DIALOG) return &mainDialog();
    if (number == IDD_PASSWORD_DIALOG) return &passwordDialog();
    return nullptr;
}

}  // namespace posix_layer
