# Checks of the committed sample package: its catalogs verified by an
# independent reader (osslsigncode) and, with the windows preset built, its
# driver files reproduced by that build byte for byte.
add_test(NAME Sample.catalogs_osslsigncode
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/sample/sample_check.sh catalogs ${CMAKE_SOURCE_DIR}/sample)
set_tests_properties(Sample.catalogs_osslsigncode PROPERTIES LABELS "sample" TIMEOUT 120)
if(HALLIMOR_WINDOWS_EXE)
  get_filename_component(HALLIMOR_SAMPLE_BUILD_DIR ${HALLIMOR_WINDOWS_EXE} DIRECTORY)
  add_test(NAME Sample.drivers_reproduced
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/sample/sample_check.sh drivers ${CMAKE_SOURCE_DIR}/sample
      ${HALLIMOR_SAMPLE_BUILD_DIR}/sample-drivers)
  set_tests_properties(Sample.drivers_reproduced PROPERTIES LABELS "sample" TIMEOUT 60)
endif()
