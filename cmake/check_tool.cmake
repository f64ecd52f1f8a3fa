# hallimor-check: the release and deployment engineers' tool (tools/check).
# Its checks are plain C++17 over the standard library and run the same in
# both builds; they share the installer's tables (hallimor_tables) and the INF
# reader (hallimor_inf) and never link the installer's operations.
file(GLOB HALLIMOR_CHECK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/check/*.cpp)
list(REMOVE_ITEM HALLIMOR_CHECK_SOURCES ${CMAKE_SOURCE_DIR}/tools/check/main.cpp)
add_library(hallimor_check STATIC ${HALLIMOR_CHECK_SOURCES})
target_include_directories(hallimor_check PUBLIC ${CMAKE_SOURCE_DIR}/tools/check)
target_compile_options(hallimor_check PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(hallimor_check PUBLIC hallimor_tables hallimor_inf)

if(WIN32)
  add_executable(HallimorCheck_x64 ${CMAKE_SOURCE_DIR}/tools/check/main.cpp)
  set(HALLIMOR_CHECK_EXE HallimorCheck_x64)
else()
  add_executable(hallimor-check ${CMAKE_SOURCE_DIR}/tools/check/main.cpp)
  set(HALLIMOR_CHECK_EXE hallimor-check)
endif()
target_compile_options(${HALLIMOR_CHECK_EXE} PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(${HALLIMOR_CHECK_EXE} PRIVATE hallimor_check)
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
