# End-to-end tests of the real Windows executable under Wine, and checks of
# its PE image. They are tests of the host build, so that one ctest run
# counts everything; they need the windows preset built first.
#
#   HALLIMOR_WINDOWS_EXE  path of Hallimor_x64.exe (runexit.exe beside it);
#                         empty: these tests are not registered.
set(HALLIMOR_WINDOWS_EXE "" CACHE FILEPATH "Hallimor_x64.exe built by the windows preset, for the Wine tests")
set(HALLIMOR_MINGW_TOOL_PREFIX "x86_64-w64-mingw32-" CACHE STRING "Prefix of the MinGW-w64 binutils")

if(NOT HALLIMOR_WINDOWS_EXE)
  message(STATUS "Wine end-to-end tests: off (set HALLIMOR_WINDOWS_EXE to enable)")
  return()
endif()
message(STATUS "Wine end-to-end tests: on, for ${HALLIMOR_WINDOWS_EXE}")

get_filename_component(HALLIMOR_WINDOWS_DIR ${HALLIMOR_WINDOWS_EXE} DIRECTORY)
set(HALLIMOR_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(HALLIMOR_WINE_ENVIRONMENT
  HALLIMOR_EXE=${HALLIMOR_WINDOWS_EXE}
  HALLIMOR_RUNEXIT=${HALLIMOR_WINDOWS_DIR}/runexit.exe
  HALLIMOR_MKDEVICE=${HALLIMOR_WINDOWS_DIR}/mkdevice.exe
  HALLIMOR_SETUPINF=${HALLIMOR_WINDOWS_DIR}/setupinf.exe
  HALLIMOR_CHECK_EXE=${HALLIMOR_WINDOWS_DIR}/HallimorCheck_x64.exe
  HALLIMOR_CHECK_HOST=${CMAKE_BINARY_DIR}/hallimor-check
  HALLIMOR_SAMPLE=${CMAKE_SOURCE_DIR}/sample/Drivers
  HALLIMOR_WINE_BASE=${HALLIMOR_WINE_STATE}/prefix
  HALLIMOR_WINE_WORK=${HALLIMOR_WINE_STATE}/work)

# PE image checks.
foreach(check imports version manifest icon subsystem tsaware)
  add_test(NAME Pe.${check}
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/pe_check.sh ${check} ${HALLIMOR_WINDOWS_EXE} ${HALLIMOR_MINGW_TOOL_PREFIX})
  set_tests_properties(Pe.${check} PROPERTIES LABELS "pe" TIMEOUT 60)
endforeach()
# The checker: Windows' DLLs only, bcrypt for the catalog signatures.
add_test(NAME Pe.check_imports
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/pe_check.sh check_imports ${HALLIMOR_WINDOWS_DIR}/HallimorCheck_x64.exe
    ${HALLIMOR_MINGW_TOOL_PREFIX})
set_tests_properties(Pe.check_imports PROPERTIES LABELS "pe" TIMEOUT 60)

# One prefix per test run, made before the first Wine test and removed after
# the last.
add_test(NAME Wine.MakePrefix
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/make_prefix.sh ${HALLIMOR_WINE_STATE}/prefix)
# A high cost makes ctest start the slow Wine tests first, beside the host tests.
set_tests_properties(Wine.MakePrefix PROPERTIES FIXTURES_SETUP wine_prefix LABELS "wine" TIMEOUT 300 COST 1000)
add_test(NAME Wine.RemovePrefix
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${HALLIMOR_WINE_STATE})
set_tests_properties(Wine.RemovePrefix PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS "wine")

# hallimor_wine_cases(SCRIPT CASE...): one test Wine.CASE per case, run by
# tests/wine/SCRIPT in its own copy of the shared prefix.
function(hallimor_wine_cases script)
  foreach(case ${ARGN})
    add_test(NAME Wine.${case} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/${script} ${case})
    set_tests_properties(Wine.${case} PROPERTIES
      FIXTURES_REQUIRED wine_prefix
      ENVIRONMENT "${HALLIMOR_WINE_ENVIRONMENT}"
      LABELS "wine"
      TIMEOUT 180
      COST 100)
  endforeach()
endfunction()

hallimor_wine_cases(e2e.sh no_package install_sample preinstall_cu vista_layout windows8_layout
  clean_without_package unknown_word log_links)

# Cases that check the system state the installer leaves, with devices and
# services prepared by mkdevice.exe; their expectations come from the package.
hallimor_wine_cases(e2e_package.sh install_system_state preinstall_cu_system_state preinstall_storage_devices
  uninstall_devices clean_vendor_purge superseded_before_install)

# hallimor-check log on the logs of real runs: their verdicts.
hallimor_wine_cases(e2e_log.sh log_install_sample log_uninstall_bare log_no_package log_driver_not_replaced
  log_driver_store_others)

# HallimorCheck_x64.exe on the target machine after the installer's runs
# (which items of the package the machine holds, and its exit code), and its
# package check on the sample.
hallimor_wine_cases(e2e_machine.sh machine_after_install machine_after_preinstall_cu machine_after_clean
  machine_driver_not_replaced machine_no_package machine_wrapper_without_devices package_check_sample
  package_check_signatures)

# hallimor-check inf against SetupAPI itself (setupinf.exe) on one INF per
# reading rule, both builds of the checker alike.
hallimor_wine_cases(inf_compare.sh inf_setupapi)
