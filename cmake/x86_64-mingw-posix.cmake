# Cross toolchain for the 64-bit rehearsal (scripts/test on a machine that
# cannot run 32-bit programs): 64-bit Windows with the posix thread model,
# otherwise as cmake/i686-mingw-posix.cmake. What ships is the 32-bit build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
set(CMAKE_DLLTOOL      x86_64-w64-mingw32-dlltool)
set(CMAKE_OBJDUMP      x86_64-w64-mingw32-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test executables are Windows programs: run them under (64-bit) Wine, the
# one first on PATH (scripts/wine64-chroot's).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
