# What both cross toolchains share: Windows with mingw-w64's posix thread
# model, so that std::mutex and std::thread exist (GoogleTest needs them),
# for the processor that the including toolchain file names in
# VORN_MINGW_TRIPLET's first part.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${VORN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${VORN_MINGW_TRIPLET}-windres)
set(CMAKE_MC_COMPILER  ${VORN_MINGW_TRIPLET}-windmc)
set(CMAKE_DLLTOOL      ${VORN_MINGW_TRIPLET}-dlltool)
set(CMAKE_OBJDUMP      ${VORN_MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VORN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test executables are Windows programs: run them under Wine, the one first
# on PATH (Debian's 64-bit one through scripts/wine64/ on a machine that runs
# no 32-bit programs).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
