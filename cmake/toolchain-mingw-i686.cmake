# The shipped 32-bit Windows build. It is compiled and checked here but cannot run:
# the kernel of the build machines executes no 32-bit x86 code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
