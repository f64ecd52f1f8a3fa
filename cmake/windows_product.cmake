# Windows build: the shipped executable and, for the cross build, the small
# helper that the end-to-end tests run under Wine.
enable_language(RC)
add_executable(Hallimor_x64 ${CMAKE_SOURCE_DIR}/src/run/main.cpp ${CMAKE_SOURCE_DIR}/res/hallimor.rc)
target_compile_options(Hallimor_x64 PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(Hallimor_x64 PRIVATE hallimor_core setupapi newdev shlwapi advapi32)
# A Windows (GUI) subsystem program: started by a setup package, it must not
# open a console window. The entry stays main().
set_target_properties(Hallimor_x64 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} WIN32_EXECUTABLE ON)
# The resource script includes the icon from its own folder.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/res/hallimor.rc APPEND PROPERTY OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/res/hallimor.ico)
if(MINGW)
  # Only Windows' own DLLs are imported: the C++ and GCC runtimes are linked in.
  target_link_options(Hallimor_x64 PRIVATE -static -static-libgcc -static-libstdc++)
  # The shipped exe carries no symbols or debug sections of the runtimes.
  target_link_options(Hallimor_x64 PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
  # Terminal-server aware: on a Remote Desktop Session Host, Windows gives a
  # program without the mark a per-user Windows folder from
  # GetWindowsDirectoryA, and the installer would look for the system
  # folders, its log's folder and the support library in the wrong place.
  target_link_options(Hallimor_x64 PRIVATE -Wl,--tsaware)
endif()
if(MSVC)
  # /TSAWARE is the linker's default for programs; stated so that it stays.
  target_link_options(Hallimor_x64 PRIVATE /MANIFEST:NO /ENTRY:mainCRTStartup /TSAWARE)
endif()

if(MINGW)
  include(${CMAKE_SOURCE_DIR}/cmake/sample_drivers.cmake)
endif()

option(HALLIMOR_WINE_TOOLS "Build the helper programs of the Wine end-to-end tests" ${MINGW})
if(HALLIMOR_WINE_TOOLS)
  # runexit.exe reports a program's full 32-bit exit code, which Wine's
  # launcher cuts to 8 bits.
  add_executable(runexit ${CMAKE_SOURCE_DIR}/tests/wine/tools/runexit.c)
  target_compile_options(runexit PRIVATE ${HALLIMOR_WARNINGS})
  set_target_properties(runexit PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  if(MINGW)
    target_link_options(runexit PRIVATE -static -static-libgcc)
  endif()
  # mkdevice.exe registers phantom USB devices and driver services in a
  # prefix and lists the devices' state afterwards.
  add_executable(mkdevice ${CMAKE_SOURCE_DIR}/tests/wine/tools/mkdevice.c)
  target_compile_options(mkdevice PRIVATE ${HALLIMOR_WARNINGS})
  target_link_libraries(mkdevice PRIVATE setupapi advapi32)
  set_target_properties(mkdevice PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  if(MINGW)
    target_link_options(mkdevice PRIVATE -static -static-libgcc)
  endif()
  # setupinf.exe prints what SetupAPI reads from INF files, for the test that
  # holds hallimor-check's INF reader against it.
  add_executable(setupinf ${CMAKE_SOURCE_DIR}/tests/wine/tools/setupinf.c)
  target_compile_options(setupinf PRIVATE ${HALLIMOR_WARNINGS})
  target_link_libraries(setupinf PRIVATE setupapi)
  set_target_properties(setupinf PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  if(MINGW)
    target_link_options(setupinf PRIVATE -static -static-libgcc)
  endif()
endif()
