# hallimor-check: the release and deployment engineers' tool (tools/check).
# Its checks are plain C++17 over the standard library and run the same in
# both builds; they share the installer's tables (hallimor_tables) and the INF
# reader (hallimor_inf) and never link the installer's operations.
file(GLOB HALLIMOR_CHECK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/check/*.cpp)
list(REMOVE_ITEM HALLIMOR_CHECK_SOURCES ${CMAKE_SOURCE_DIR}/tools/check/main.cpp
  ${CMAKE_SOURCE_DIR}/tools/check/machine_check.cpp ${CMAKE_SOURCE_DIR}/tools/check/machine_unavailable.cpp)
add_library(hallimor_check STATIC ${HALLIMOR_CHECK_SOURCES})
target_include_directories(hallimor_check PUBLIC ${CMAKE_SOURCE_DIR}/tools/check)
target_compile_options(hallimor_check PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(hallimor_check PUBLIC hallimor_tables hallimor_inf hallimor_catalog)
if(NOT WIN32)
  # The log verb spreads a folder's logs over the cores (tools/check/ordered_work.h).
  find_package(Threads REQUIRED)
  target_link_libraries(hallimor_check PUBLIC Threads::Threads)
endif()
if(MSVC)
  # The log reader opens files with fopen and names errors with strerror.
  target_compile_definitions(hallimor_check PRIVATE _CRT_SECURE_NO_WARNINGS)
endif()

# The machine verb reads the target machine through the installer's platform
# layer and finds the package with the installer's environment code
# (hallimor_core). In the Windows build that is Windows itself; in the host
# build only the tests link it, against the simulated machine.
add_library(hallimor_check_machine STATIC ${CMAKE_SOURCE_DIR}/tools/check/machine_check.cpp)
target_include_directories(hallimor_check_machine PUBLIC ${CMAKE_SOURCE_DIR}/tools/check)
target_compile_options(hallimor_check_machine PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(hallimor_check_machine PUBLIC hallimor_core hallimor_check)
if(WIN32)
  # After the installer's core on the link line: its objects import from them.
  # setupapi also exports the configuration manager's CM_Get_DevNode_Status,
  # so the check imports no DLL beyond the installer's.
  target_link_libraries(hallimor_check_machine PUBLIC shlwapi advapi32 setupapi)
endif()

if(WIN32)
  add_executable(HallimorCheck_x64 ${CMAKE_SOURCE_DIR}/tools/check/main.cpp)
  set(HALLIMOR_CHECK_EXE HallimorCheck_x64)
  target_link_libraries(HallimorCheck_x64 PRIVATE hallimor_check hallimor_check_machine)
else()
  # The host tool answers the machine verb with "Windows only" and links
  # nothing of the platform layer.
  add_library(hallimor_check_no_machine STATIC ${CMAKE_SOURCE_DIR}/tools/check/machine_unavailable.cpp)
  target_include_directories(hallimor_check_no_machine PUBLIC ${CMAKE_SOURCE_DIR}/tools/check)
  target_compile_options(hallimor_check_no_machine PRIVATE ${HALLIMOR_WARNINGS})
  add_executable(hallimor-check ${CMAKE_SOURCE_DIR}/tools/check/main.cpp)
  set(HALLIMOR_CHECK_EXE hallimor-check)
  target_link_libraries(hallimor-check PRIVATE hallimor_check hallimor_check_no_machine)
endif()
target_compile_options(${HALLIMOR_CHECK_EXE} PRIVATE ${HALLIMOR_WARNINGS})
set_target_properties(${HALLIMOR_CHECK_EXE} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MINGW)
  # A console program for the release engineer's desk, importing only
  # Windows' own DLLs.
  target_link_options(${HALLIMOR_CHECK_EXE} PRIVATE -static -static-libgcc -static-libstdc++
    $<$<CONFIG:Release,MinSizeRel>:-s> -Wl,--tsaware)
endif()
if(MSVC)
  target_link_options(${HALLIMOR_CHECK_EXE} PRIVATE /MANIFEST:NO /TSAWARE)
endif()
