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
