# GoogleTest: the installed package on the host; for the mingw targets it is built from
# Debian's source tree, since no Windows build of it is packaged.
if(NOT NPL_BUILD_TESTS)
  return()
endif()

if(CMAKE_CROSSCOMPILING)
  set(NPL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree for cross builds")
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${NPL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

# npl_add_test(NAME source... LIBRARIES lib...): one GoogleTest program, run as one CTest test
# (natively, or under Wine through the cross-compiling emulator).
function(npl_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# npl_test_path(OUT path): `path` as a test program sees it. Windows programs run under Wine,
# which shows the Unix root as drive Z:.
function(npl_test_path out path)
  if(CMAKE_CROSSCOMPILING)
    set(${out} "Z:${path}" PARENT_SCOPE)
  else()
    set(${out} "${path}" PARENT_SCOPE)
  endif()
endfunction()

# npl_add_fuzz_replay(FUZZER): runs a libFuzzer target's entry point over every file of its
# committed corpus (fuzz/corpus/FUZZER) as an ordinary test on every target, so that inputs
# once found stay covered without the fuzzing engine.
function(npl_add_fuzz_replay fuzzer)
  cmake_parse_arguments(ARG "" "" "LIBRARIES" ${ARGN})
  set(name ${fuzzer}_replay)
  add_executable(${name} ${PROJECT_SOURCE_DIR}/fuzz/${fuzzer}.cpp ${PROJECT_SOURCE_DIR}/tests/support/fuzz_replay_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  npl_test_path(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${fuzzer})
  add_test(NAME ${name} COMMAND ${name} ${corpus})
endfunction()
