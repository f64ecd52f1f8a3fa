# Windows build: the shipped executable.
enable_language(RC)
add_executable(Hallimor_x64 ${CMAKE_SOURCE_DIR}/src/run/main.cpp ${CMAKE_SOURCE_DIR}/res/hallimor.rc)
target_compile_options(Hallimor_x64 PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(Hallimor_x64 PRIVATE hallimor_core setupapi newdev shlwapi advapi32)
set_target_properties(Hallimor_x64 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MINGW)
  # Only Windows' own DLLs are imported: the C++ and GCC runtimes are linked in.
  target_link_options(Hallimor_x64 PRIVATE -static -static-libgcc -static-libstdc++)
endif()
if(MSVC)
  set_property(TARGET Hallimor_x64 PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded")
  target_link_options(Hallimor_x64 PRIVATE /MANIFEST:NO)
endif()
