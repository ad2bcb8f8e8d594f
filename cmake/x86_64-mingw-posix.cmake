# Cross toolchain for the 64-bit rehearsal (scripts/test on a machine that
# cannot run 32-bit programs): 64-bit Windows, otherwise as
# cmake/i686-mingw-posix.cmake. What ships is the 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VORN_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingwPosix.cmake)
