# The sample package's kernel drivers (sample/drivers): one tiny x64 image of
# the native subsystem per driver file name, built without a runtime and with
# no time stamp, so that the build reproduces the files committed in
# sample/Drivers byte for byte (a test compares them; sample/README.md says
# how they are renewed).
set(HALLIMOR_SAMPLE_DRIVERS gorvel KWEusbmdm6k KWEusbser6k KWEusbnmea KWETDDiag KWEusbnet KWETDSound KWEusbccid
  ZEFODVBH)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(HALLIMOR_SAMPLE_DRIVER_DIR ${CMAKE_BINARY_DIR}/sample-drivers)
foreach(driver ${HALLIMOR_SAMPLE_DRIVERS})
  add_executable(sample_${driver} ${CMAKE_SOURCE_DIR}/sample/drivers/sample_driver.c)
  target_compile_definitions(sample_${driver} PRIVATE SAMPLE_DRIVER_NAME="${driver}")
  target_compile_options(sample_${driver} PRIVATE ${HALLIMOR_WARNINGS} -O2 -ffreestanding -fno-asynchronous-unwind-tables
    -fno-stack-protector -fno-ident)
  target_link_options(sample_${driver} PRIVATE -nostdlib -s -Wl,--subsystem,native -Wl,-e,DriverEntry
    -Wl,--no-insert-timestamp -Wl,--dynamicbase -Wl,--nxcompat -Wl,--image-base,0x140000000)
  set_target_properties(sample_${driver} PROPERTIES OUTPUT_NAME ${driver} SUFFIX .sys
    RUNTIME_OUTPUT_DIRECTORY ${HALLIMOR_SAMPLE_DRIVER_DIR})
  add_custom_command(TARGET sample_${driver} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/sample/drivers/pe_checksum.py $<TARGET_FILE:sample_${driver}>
    VERBATIM)
endforeach()
