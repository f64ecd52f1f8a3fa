# Host build: the product sources against the simulated Windows machine,
# tested with GoogleTest through CTest.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

if(HALLIMOR_SANITIZE)
  set(HALLIMOR_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(hallimor_core PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
  target_link_options(hallimor_core PUBLIC ${HALLIMOR_SANITIZER_FLAGS})
  # Every program of the build links the sanitizer runtime through the
  # tables library, which the installer's core and the checker both use.
  target_compile_options(hallimor_tables PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
  target_link_options(hallimor_tables PUBLIC ${HALLIMOR_SANITIZER_FLAGS})
  target_compile_options(hallimor_inf PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
  target_compile_options(hallimor_check PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
  target_compile_options(hallimor_catalog PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
  target_compile_options(hallimor_sign PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
endif()

file(GLOB HALLIMOR_MACHINE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/machine/*.cpp)
add_library(hallimor_machine STATIC ${HALLIMOR_MACHINE_SOURCES})
target_include_directories(hallimor_machine PUBLIC ${CMAKE_SOURCE_DIR}/tests/machine ${CMAKE_SOURCE_DIR}/src)
target_compile_options(hallimor_machine PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(hallimor_machine PUBLIC hallimor_inf)
if(HALLIMOR_SANITIZE)
  target_compile_options(hallimor_machine PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
endif()

# The product's Windows calls resolve to the machine; the machine's run
# helper calls back into the product.
target_link_libraries(hallimor_core PUBLIC hallimor_machine)
target_link_libraries(hallimor_machine PUBLIC hallimor_core)

file(GLOB HALLIMOR_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(hallimor_tests ${HALLIMOR_TEST_SOURCES})
target_compile_options(hallimor_tests PRIVATE ${HALLIMOR_WARNINGS})
if(HALLIMOR_SANITIZE)
  target_compile_options(hallimor_tests PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
endif()
target_link_libraries(hallimor_tests PRIVATE hallimor_core hallimor_machine hallimor_check_machine
  GTest::gtest GTest::gmock GTest::gtest_main)
if(HALLIMOR_SANITIZE)
  target_compile_options(hallimor_check_machine PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
endif()
gtest_discover_tests(hallimor_tests DISCOVERY_TIMEOUT 60)

# The checker's own tests: plain C++ over files the tests make, no machine.
file(GLOB HALLIMOR_CHECK_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/check/*.cpp)
add_executable(hallimor_check_tests ${HALLIMOR_CHECK_TEST_SOURCES})
target_compile_options(hallimor_check_tests PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(hallimor_check_tests PRIVATE hallimor_check hallimor_check_no_machine hallimor_sign GTest::gtest
  GTest::gtest_main)
# The package checks are tried on copies of the sample package.
target_compile_definitions(hallimor_check_tests PRIVATE HALLIMOR_SAMPLE_DIR="${CMAKE_SOURCE_DIR}/sample")
gtest_discover_tests(hallimor_check_tests DISCOVERY_TIMEOUT 60)
if(HALLIMOR_SANITIZE)
  target_compile_options(hallimor_check PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
  target_compile_options(hallimor_check_no_machine PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
  target_compile_options(hallimor_check_tests PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
  target_link_options(hallimor_check_tests PRIVATE ${HALLIMOR_SANITIZER_FLAGS})
endif()

# Benchmark of whole runs on generated machines (tests/bench). Never part of
# the test suite: it is run by hand, in a Release build (docs/performance.md).
# The product is compiled a second time for it, with the platform clock in
# front of every source, so that each Windows call and log stream operation
# is timed; the machine is compiled into the benchmark against that copy.
find_package(benchmark QUIET)
option(HALLIMOR_BENCHMARK "Build the run benchmark (needs Google Benchmark)" ${benchmark_FOUND})
if(HALLIMOR_BENCHMARK AND benchmark_FOUND)
  add_library(hallimor_core_timed OBJECT ${HALLIMOR_PRODUCT_SOURCES})
  target_include_directories(hallimor_core_timed PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests/bench)
  target_compile_definitions(hallimor_core_timed PRIVATE PERF_TIME_PRODUCT)
  target_compile_options(hallimor_core_timed PRIVATE ${HALLIMOR_WARNINGS}
    -include ${CMAKE_SOURCE_DIR}/tests/bench/platform_clock.h)
  file(GLOB HALLIMOR_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/bench/*.cpp)
  add_executable(hallimor_bench ${HALLIMOR_BENCH_SOURCES} ${HALLIMOR_MACHINE_SOURCES}
    $<TARGET_OBJECTS:hallimor_core_timed>)
  target_include_directories(hallimor_bench PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests/machine
    ${CMAKE_SOURCE_DIR}/tests/bench)
  target_compile_options(hallimor_bench PRIVATE ${HALLIMOR_WARNINGS})
  target_link_libraries(hallimor_bench PRIVATE hallimor_tables hallimor_inf benchmark::benchmark)
endif()

# hallimor_scenario: runs a scenario file on the simulated machine and dumps
# the run in the format of the Wine comparison (tests/wine/compare.sh).
add_executable(hallimor_scenario ${CMAKE_SOURCE_DIR}/tests/compare/scenario_main.cpp
  ${CMAKE_SOURCE_DIR}/tests/compare/scenario.cpp)
target_include_directories(hallimor_scenario PRIVATE ${CMAKE_SOURCE_DIR}/tests/compare)
target_compile_options(hallimor_scenario PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(hallimor_scenario PRIVATE hallimor_core hallimor_machine)
# Its parser and dump helpers are tested with the host tests.
target_sources(hallimor_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/compare/scenario.cpp)
target_include_directories(hallimor_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/compare)

include(${CMAKE_SOURCE_DIR}/cmake/wine_tests.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/wine_matrix_tests.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/sample_tests.cmake)

# Build-time guards: a vendor-table edit that breaks the tables' rules must
# not compile.
add_test(NAME Compile.vendor_table_edits
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/compile/vendor_table_edits.sh ${CMAKE_CXX_COMPILER} ${CMAKE_SOURCE_DIR})
set_tests_properties(Compile.vendor_table_edits PROPERTIES LABELS "compile" TIMEOUT 120)
add_test(NAME Compile.deprecated_calls
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/compile/deprecated_calls.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(Compile.deprecated_calls PROPERTIES LABELS "compile" TIMEOUT 60)
# The house plan: includes run down the floors only, without a circle.
add_test(NAME Compile.include_floors
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/compile/include_floors.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(Compile.include_floors PROPERTIES LABELS "compile" TIMEOUT 60)
