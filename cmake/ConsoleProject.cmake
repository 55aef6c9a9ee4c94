# Shared build rules: warnings, test binaries per folder, fuzz targets and benchmarks.
include(GoogleTest)
find_package(Threads REQUIRED)
find_package(GTest REQUIRED)

set(CONSOLE_WARNINGS -Wall -Wextra -Wno-unused-parameter)
if(CONSOLE_WERROR)
  list(APPEND CONSOLE_WARNINGS -Werror)
endif()

# Directory of the shared test data that lives beside the checkout.
get_filename_component(CONSOLE_TESTDATA_DIR "${CMAKE_SOURCE_DIR}/../shared/testdata" ABSOLUTE)
if(NOT IS_DIRECTORY "${CONSOLE_TESTDATA_DIR}")
  # A git worktree in another folder: the test data lies beside the main checkout.
  execute_process(COMMAND git rev-parse --path-format=absolute --git-common-dir
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE CONSOLE_GIT_COMMON
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(CONSOLE_GIT_COMMON)
    get_filename_component(CONSOLE_MAIN_CHECKOUT "${CONSOLE_GIT_COMMON}" DIRECTORY)
    if(IS_DIRECTORY "${CONSOLE_MAIN_CHECKOUT}/../shared/testdata")
      get_filename_component(CONSOLE_TESTDATA_DIR "${CONSOLE_MAIN_CHECKOUT}/../shared/testdata" ABSOLUTE)
    endif()
  endif()
endif()

# Every test runs in a folder of its own (HOME, XDG folders, data root, registry folder, TMPDIR).
set(CONSOLE_TEST_LAUNCHER ${CMAKE_SOURCE_DIR}/testsupport/in-own-folder)

function(console_warnings target)
  target_compile_options(${target} PRIVATE ${CONSOLE_WARNINGS})
endfunction()

# console_add_library(<name> [SHARED|STATIC] LIBS <public libs...> PRIVATE_LIBS <...>)
# Sources: every .cpp below src/; public headers below include/<name>/.
function(console_add_library name)
  cmake_parse_arguments(ARG "SHARED;STATIC" "" "LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  if(NOT srcs)
    # Headers only, so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    return()
  endif()
  if(ARG_STATIC)
    add_library(${name} STATIC ${srcs})
  else()
    add_library(${name} SHARED ${srcs})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                     PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  console_warnings(${name})
endfunction()

# console_add_tests(<folder> LIBS <libs...> [DIR <dir>] [NAME <exe>] [EXCLUDE <regex>])
# One GoogleTest binary per folder from every .cpp below tests/ (or DIR), labelled by folder;
# files matching EXCLUDE belong to another binary.
function(console_add_tests folder)
  cmake_parse_arguments(ARG "" "DIR;NAME;EXCLUDE" "LIBS" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  endif()
  if(NOT ARG_NAME)
    set(ARG_NAME ${folder}_tests)
  endif()
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  if(CONSOLE_THREADS_TESTS_ONLY)
    # Files whose suites are all of another kind are left out; files without a suite (fixtures,
    # main) stay.
    set(kept)
    foreach(src ${srcs})
      file(STRINGS ${src} suites REGEX "^(TEST|TEST_F|TEST_P|TYPED_TEST)\\([A-Za-z0-9_]+,")
      list(FILTER suites INCLUDE REGEX "^[A-Z_]+\\([A-Za-z0-9_]*Threads,")
      file(STRINGS ${src} any REGEX "^(TEST|TEST_F|TEST_P|TYPED_TEST)\\(")
      if(suites OR NOT any)
        list(APPEND kept ${src})
      endif()
    endforeach()
    set(srcs ${kept})
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(${ARG_NAME} ${srcs})
  # Test code is built for a quick compile; the libraries it tests keep the build's optimisation.
  target_compile_options(${ARG_NAME} PRIVATE $<$<CONFIG:RelWithDebInfo>:-O1>)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${ARG_NAME} PRIVATE ${ARG_DIR} ${CMAKE_SOURCE_DIR}/testsupport)
  target_compile_definitions(${ARG_NAME} PRIVATE
    CONSOLE_TESTDATA_DIR="${CONSOLE_TESTDATA_DIR}"
    CONSOLE_BINARY_DIR="${CMAKE_BINARY_DIR}"
    CONSOLE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  console_warnings(${ARG_NAME})
  set_target_properties(${ARG_NAME} PROPERTIES CROSSCOMPILING_EMULATOR ${CONSOLE_TEST_LAUNCHER})
  gtest_discover_tests(${ARG_NAME}
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS ${folder} TIMEOUT 300)
endfunction()

# console_add_fuzzer(<name> SOURCES <src...> LIBS <libs...>)
# The entry point LLVMFuzzerTestOneInput is replayed over fuzz/corpus/<name>/ in every build
# (a CTest test), and built as a libFuzzer binary when CONSOLE_FUZZ is on.
function(console_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;EXTRA_CORPUS" ${ARGN})
  if(NOT TARGET console_fuzz_replay_main)
    # The replay driver is compiled once for every target.
    add_library(console_fuzz_replay_main OBJECT ${CMAKE_SOURCE_DIR}/fuzz/ReplayMain.cpp)
    console_warnings(console_fuzz_replay_main)
  endif()
  add_executable(${name}_replay ${ARG_SOURCES} $<TARGET_OBJECTS:console_fuzz_replay_main>)
  target_link_libraries(${name}_replay PRIVATE ${ARG_LIBS})
  console_warnings(${name}_replay)
  add_test(NAME fuzz_replay.${name}
           COMMAND ${CONSOLE_TEST_LAUNCHER} $<TARGET_FILE:${name}_replay> ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name} ${ARG_EXTRA_CORPUS})
  set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
  if(CONSOLE_FUZZ)
    add_executable(${name}_fuzzer ${ARG_SOURCES})
    target_link_libraries(${name}_fuzzer PRIVATE ${ARG_LIBS})
    target_compile_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
  endif()
endfunction()

# console_add_benchmark(<name> SOURCES <src...> LIBS <libs...>)
# Built in every build with benchmarks on; CTest runs it once at a small size
# (CONSOLE_BENCH_SMALL=1) so that CI knows it still works.
function(console_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
  console_warnings(${name})
  add_test(NAME bench.${name} COMMAND ${CONSOLE_TEST_LAUNCHER} $<TARGET_FILE:${name}> --benchmark_min_time=0.001)
  set_tests_properties(bench.${name} PROPERTIES LABELS bench TIMEOUT 600
                       ENVIRONMENT "CONSOLE_BENCH_SMALL=1")
endfunction()
