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
  HALLIMOR_SAMPLE=${CMAKE_SOURCE_DIR}/sample/Drivers
  HALLIMOR_WINE_BASE=${HALLIMOR_WINE_STATE}/prefix
  HALLIMOR_WINE_WORK=${HALLIMOR_WINE_STATE}/work)

# PE image checks.
foreach(check imports version manifest icon subsystem)
  add_test(NAME Pe.${check}
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/pe_check.sh ${check} ${HALLIMOR_WINDOWS_EXE} ${HALLIMOR_MINGW_TOOL_PREFIX})
  set_tests_properties(Pe.${check} PROPERTIES LABELS "pe" TIMEOUT 60)
endforeach()

# One prefix per test run, made before the first Wine test and removed after
# the last.
add_test(NAME Wine.MakePrefix
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/make_prefix.sh ${HALLIMOR_WINE_STATE}/prefix)
# A high cost makes ctest start the slow Wine tests first, beside the host tests.
set_tests_properties(Wine.MakePrefix PROPERTIES FIXTURES_SETUP wine_prefix LABELS "wine" TIMEOUT 300 COST 1000)
add_test(NAME Wine.RemovePrefix
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${HALLIMOR_WINE_STATE})
set_tests_properties(Wine.RemovePrefix PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS "wine")

foreach(case no_package install_sample preinstall_cu vista_layout windows8_layout clean_without_package unknown_word)
  add_test(NAME Wine.${case} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/e2e.sh ${case})
  set_tests_properties(Wine.${case} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    ENVIRONMENT "${HALLIMOR_WINE_ENVIRONMENT}"
    LABELS "wine"
    TIMEOUT 180
    COST 100)
endforeach()

# Cases that check the system state the installer leaves, with devices and
# services prepared by mkdevice.exe; their expectations come from the package.
foreach(case install_system_state preinstall_cu_system_state preinstall_storage_devices
        uninstall_devices clean_vendor_purge superseded_before_install)
  add_test(NAME Wine.${case} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/e2e_package.sh ${case})
  set_tests_properties(Wine.${case} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    ENVIRONMENT "${HALLIMOR_WINE_ENVIRONMENT}"
    LABELS "wine"
    TIMEOUT 180
    COST 100)
endforeach()

# The log verdict of the host-built hallimor-check on the install logs that
# real runs leave (tests/wine/e2e_log.sh).
set(HALLIMOR_WINE_LOG_ENVIRONMENT ${HALLIMOR_WINE_ENVIRONMENT}
  HALLIMOR_CHECK_HOST=${CMAKE_BINARY_DIR}/hallimor-check)
foreach(case log_install_sample log_uninstall_bare log_no_package log_driver_not_replaceable log_cut)
  add_test(NAME Wine.${case} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/e2e_log.sh ${case})
  set_tests_properties(Wine.${case} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    ENVIRONMENT "${HALLIMOR_WINE_LOG_ENVIRONMENT}"
    LABELS "wine"
    TIMEOUT 180
    COST 100)
endforeach()
