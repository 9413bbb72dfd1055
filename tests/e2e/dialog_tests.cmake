# End-to-end tests of the stub's dialogs. Included by tests/e2e/CMakeLists.txt
# in native builds, once e2e-pack exists.
#
# dialog.linux.*  the Linux stub's dialogs, rendered in the terminal by the
#                 POSIX layer and answered on standard input (dialog_e2e.py).
# dialog.wine.*   the real dialogs of a Windows stub under Wine on a virtual X
#                 display of their own, driven with xdotool (dialog_wine.py),
#                 when BRIVANE_DIALOG_WINDOWS_STUB names the stub (for example
#                 the win64 build's bvsfx-stub64.exe). Screenshots of every
#                 dialog state are kept in work-dialog-wine/screenshots.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(DIALOG_E2E_DRIVER ${CMAKE_CURRENT_LIST_DIR}/dialog_e2e.py)
set(DIALOG_WINE_DRIVER ${CMAKE_CURRENT_LIST_DIR}/dialog_wine.py)

set(DIALOG_LINUX_CASES
  close unzip-configured unzip-current-dir generated-temp temp-shown-literally typed-folder browse
  title-and-caption damaged uncreatable-destination password-128 password-192 password-256 password-wrong password-empty
  password-cancel-eof password-cancel-esc password-silent password-terminal)

if(TARGET bvsfx-stub AND TARGET e2e-pack)
  foreach(case ${DIALOG_LINUX_CASES})
    add_test(NAME dialog.linux.${case}
             COMMAND ${Python3_EXECUTABLE} ${DIALOG_E2E_DRIVER}
                     --stub $<TARGET_FILE:bvsfx-stub> --pack $<TARGET_FILE:e2e-pack>
                     --work ${CMAKE_CURRENT_BINARY_DIR}/work-dialog-linux --case ${case})
  endforeach()
endif()

set(BRIVANE_DIALOG_WINDOWS_STUB "" CACHE FILEPATH "Windows stub whose dialogs run under Wine and Xvfb")
set(BRIVANE_DIALOG_WINDOWS_RUNNER "${CMAKE_SOURCE_DIR}/scripts/wine-run" CACHE STRING
    "Command put in front of the Windows stub and of the dialog probe")
set(DIALOG_WINE_CASES
  unzip-configured current-dir temp-literal generated-temp title-and-caption password-128 password-192
  password-256 wrong-password empty-password cancel-password damaged-stored wait-responsive
  options-message-box strong-password strong-changed-setting)

if(BRIVANE_DIALOG_WINDOWS_STUB AND TARGET e2e-pack)
  foreach(case ${DIALOG_WINE_CASES})
    add_test(NAME dialog.wine.${case}
             COMMAND ${Python3_EXECUTABLE} ${DIALOG_WINE_DRIVER}
                     --stub ${BRIVANE_DIALOG_WINDOWS_STUB} --pack $<TARGET_FILE:e2e-pack>
                     --runner "${BRIVANE_DIALOG_WINDOWS_RUNNER}" --bvsfx $<TARGET_FILE:bvsfx>
                     --work ${CMAKE_CURRENT_BINARY_DIR}/work-dialog-wine --case ${case})
    # One Wine prefix for the cases, and Wine runs one at a time.
    set_tests_properties(dialog.wine.${case} PROPERTIES RESOURCE_LOCK wine TIMEOUT 600)
  endforeach()
endif()
