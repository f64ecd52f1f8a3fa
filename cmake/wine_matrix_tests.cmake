# The operation matrix under Wine (tests/wine/matrix.sh, one test per Windows
# version) and the comparison of the simulated machine with Wine
# (tests/wine/compare.sh). They need the windows preset built first and the
# shared prefix of wine_tests.cmake.
if(NOT HALLIMOR_WINDOWS_EXE)
  return()
endif()

set(HALLIMOR_MATRIX_ENVIRONMENT
  HALLIMOR_EXE=${HALLIMOR_WINDOWS_EXE}
  HALLIMOR_RUNEXIT=${HALLIMOR_WINDOWS_DIR}/runexit.exe
  HALLIMOR_MKDEVICE=${HALLIMOR_WINDOWS_DIR}/mkdevice.exe
  HALLIMOR_SCENARIO=$<TARGET_FILE:hallimor_scenario>
  HALLIMOR_SAMPLE=${CMAKE_SOURCE_DIR}/sample/Drivers
  HALLIMOR_WINE_BASE=${HALLIMOR_WINE_STATE}/prefix
  HALLIMOR_WINE_WORK=${HALLIMOR_WINE_STATE}/work)

foreach(version win2k winxp64 win2003 vista win7 win10)
  add_test(NAME Wine.matrix.${version} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/matrix.sh ${version})
  set_tests_properties(Wine.matrix.${version} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    ENVIRONMENT "${HALLIMOR_MATRIX_ENVIRONMENT}"
    LABELS "wine;matrix"
    TIMEOUT 900
    COST 500)
endforeach()

file(GLOB HALLIMOR_COMPARE_SCENARIOS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/compare/*.scn)
foreach(scenario ${HALLIMOR_COMPARE_SCENARIOS})
  get_filename_component(name ${scenario} NAME_WE)
  add_test(NAME Wine.compare.${name} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/compare.sh ${name})
  set_tests_properties(Wine.compare.${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    ENVIRONMENT "${HALLIMOR_MATRIX_ENVIRONMENT}"
    LABELS "wine;compare"
    TIMEOUT 180
    COST 200)
endforeach()

add_test(NAME Wine.uninstall_loop COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/uninstall_loop.sh)
set_tests_properties(Wine.uninstall_loop PROPERTIES
  FIXTURES_REQUIRED wine_prefix
  ENVIRONMENT "${HALLIMOR_MATRIX_ENVIRONMENT}"
  LABELS "wine"
  TIMEOUT 180
  COST 200)
