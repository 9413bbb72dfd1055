# End-to-end tests of bvsfx with the installers it makes (bvsfx_e2e.py).
# Included by tools/bvsfx/CMakeLists.txt once every target exists.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(BVSFX_E2E_DRIVER ${CMAKE_SOURCE_DIR}/tests/e2e/bvsfx_e2e.py)
set(BVSFX_E2E_WORK ${CMAKE_BINARY_DIR}/e2e-bvsfx)

if(TARGET bvsfx-stub)
  set(bvsfx_e2e_cases levels passwords damaged wait installer-options unix)
  # The release stub is one static file; the sanitizer build's is not.
  if(BRIVANE_RELEASE_STUB)
    list(APPEND bvsfx_e2e_cases empty-root)
  endif()
  foreach(case ${bvsfx_e2e_cases})
    add_test(NAME e2e.bvsfx.${case}
             COMMAND ${Python3_EXECUTABLE} ${BVSFX_E2E_DRIVER} --bvsfx $<TARGET_FILE:bvsfx>
                     --stub $<TARGET_FILE:bvsfx-stub> --work ${BVSFX_E2E_WORK} --case ${case})
    set_tests_properties(e2e.bvsfx.${case} PROPERTIES TIMEOUT 900)
  endforeach()
  # The cases that check bvsfx's refusals against the installer itself need
  # installers with the refused names, written by e2e-pack.
  if(TARGET e2e-pack)
    foreach(case safety refusals prompt)
      add_test(NAME e2e.bvsfx.${case}
               COMMAND ${Python3_EXECUTABLE} ${BVSFX_E2E_DRIVER} --bvsfx $<TARGET_FILE:bvsfx>
                       --stub $<TARGET_FILE:bvsfx-stub> --pack $<TARGET_FILE:e2e-pack>
                       --work ${BVSFX_E2E_WORK} --case ${case})
      set_tests_properties(e2e.bvsfx.${case} PROPERTIES TIMEOUT 900)
    endforeach()
  endif()
endif()

# The Windows upper-case table is generated data: it must be what the
# generator makes from this machine's Unicode database.
add_test(NAME bvsfx.windows_upcase_table_is_current
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/gen_windows_upcase.py --check)

# The Windows stub and the command that runs it, shared with the stub's own
# end-to-end tests (tests/e2e/CMakeLists.txt): for example the win64 build's
# bvsfx-stub64.exe and scripts/wine-run.
set(BRIVANE_E2E_WINDOWS_STUB "" CACHE FILEPATH "Windows stub to run the end-to-end cases on")
set(BRIVANE_E2E_WINDOWS_RUNNER "" CACHE STRING "Command put in front of the Windows stub (e.g. scripts/wine-run)")
if(BRIVANE_E2E_WINDOWS_STUB)
  set(windows_pack_option)
  if(TARGET e2e-pack)
    set(windows_pack_option --pack $<TARGET_FILE:e2e-pack>)
  endif()
  add_test(NAME e2e.bvsfx.windows
           COMMAND ${Python3_EXECUTABLE} ${BVSFX_E2E_DRIVER} --bvsfx $<TARGET_FILE:bvsfx>
                   --windows-stub ${BRIVANE_E2E_WINDOWS_STUB} --runner "${BRIVANE_E2E_WINDOWS_RUNNER}"
                   ${windows_pack_option} --work ${BVSFX_E2E_WORK} --case windows)
  set_tests_properties(e2e.bvsfx.windows PROPERTIES TIMEOUT 900 RESOURCE_LOCK wine)
  add_test(NAME e2e.bvsfx.windows-damaged
           COMMAND ${Python3_EXECUTABLE} ${BVSFX_E2E_DRIVER} --bvsfx $<TARGET_FILE:bvsfx>
                   --windows-stub ${BRIVANE_E2E_WINDOWS_STUB} --runner "${BRIVANE_E2E_WINDOWS_RUNNER}"
                   --work ${BVSFX_E2E_WORK} --case windows-damaged)
  set_tests_properties(e2e.bvsfx.windows-damaged PROPERTIES TIMEOUT 600 RESOURCE_LOCK wine)
endif()

# bvsfx.exe (the win64 build's) run through the same runner, its installers
# compared with the Linux bvsfx's.
set(BVSFX_E2E_WINDOWS_TOOL "" CACHE FILEPATH "bvsfx.exe to run the Windows round trips with")
if(BRIVANE_E2E_WINDOWS_STUB AND BVSFX_E2E_WINDOWS_TOOL)
  add_test(NAME e2e.bvsfx.windows-tool
           COMMAND ${Python3_EXECUTABLE} ${BVSFX_E2E_DRIVER} --bvsfx $<TARGET_FILE:bvsfx>
                   --windows-bvsfx ${BVSFX_E2E_WINDOWS_TOOL} --windows-stub ${BRIVANE_E2E_WINDOWS_STUB}
                   --runner "${BRIVANE_E2E_WINDOWS_RUNNER}" --work ${BVSFX_E2E_WORK} --case windows-tool)
  set_tests_properties(e2e.bvsfx.windows-tool PROPERTIES TIMEOUT 900 RESOURCE_LOCK wine)
endif()

# Signed installers (pack, then sign with osslsigncode; also branded ones,
# and with the 32-bit stub when BRIVANE_E2E_WIN32_STUB names it) and the
# refusal of payloads inside a certificate table, with the Windows stub.
# Branding (--icon, --version-info) read back with wrestool, pefile and,
# under Wine, the version and icon API, on both stubs.
set(BRIVANE_E2E_WIN32_STUB "" CACHE FILEPATH "The 32-bit Windows stub (signed and branded, not run)")
if(BRIVANE_E2E_WINDOWS_STUB)
  set(win32_stub_option)
  set(win32_stub_branding)
  if(BRIVANE_E2E_WIN32_STUB)
    set(win32_stub_option --win32-stub ${BRIVANE_E2E_WIN32_STUB})
    set(win32_stub_branding --stub ${BRIVANE_E2E_WIN32_STUB})
  endif()
  add_test(NAME e2e.bvsfx.signing
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/signing_e2e.py --bvsfx $<TARGET_FILE:bvsfx>
                   --stub ${BRIVANE_E2E_WINDOWS_STUB} ${win32_stub_option} --runner "${BRIVANE_E2E_WINDOWS_RUNNER}"
                   --work ${CMAKE_BINARY_DIR}/e2e-signing)
  set_tests_properties(e2e.bvsfx.signing PROPERTIES TIMEOUT 900 RESOURCE_LOCK wine)
  add_test(NAME e2e.bvsfx.branding
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/branding_e2e.py --bvsfx $<TARGET_FILE:bvsfx>
                   --stub ${BRIVANE_E2E_WINDOWS_STUB} ${win32_stub_branding} --runner "${BRIVANE_E2E_WINDOWS_RUNNER}"
                   --work ${CMAKE_BINARY_DIR}/e2e-branding)
  set_tests_properties(e2e.bvsfx.branding PROPERTIES TIMEOUT 900 RESOURCE_LOCK wine)
endif()
