# Shared by the scripts: where things are, and a quiet private Wine.
# Sourced, not run.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VORN_BUILD_DIR:-$root/build}

# A private Wine prefix per build folder: tests and the demo start from an
# empty registry and never touch a user's ~/.wine. No Mono or Gecko set-up,
# no Wine debug chatter.
export WINEPREFIX=${VORN_WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# The 32-bit build in build/, what ships, on any machine.
vorn_build() {
  "$root/scripts/setup"
  vorn_cmake_build "$build_dir" i686-mingw-posix "$@"
}

# Configures and builds folder $1 with the toolchain cmake/$2.cmake; further
# arguments go to the configuration.
vorn_cmake_build() {
  local dir=$1 toolchain=$2
  shift 2
  cmake $(vorn_generator "$dir") -S "$root" -B "$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

# Whether this machine runs 32-bit x86 programs, and so Debian's 32-bit
# Wine: the kernels of many virtual machines have IA-32 emulation off and
# answer "Exec format error". Asked of the kernel itself, before any Wine is
# installed, with the smallest 32-bit Linux program there is: 93 bytes that
# only exit. VORN_WINE64=1 takes the 64-bit path on any machine.
vorn_runs_32bit() {
  [ "${VORN_WINE64:-0}" != 1 ] || return 1
  if [ -z "${vorn_32bit_answer:-}" ]; then
    local probe
    probe=$(mktemp)
    # ELF header (i386, entry 0x8048054), one loadable segment, then
    # "mov eax, 1; xor ebx, ebx; int 0x80": exit(0).
    printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0'\
'\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\10'\
'\0\200\4\10\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0\270\1\0\0\0\61\333\315\200' >"$probe"
    chmod +x "$probe"
    if "$probe" 2>/dev/null; then vorn_32bit_answer=yes; else vorn_32bit_answer=no; fi
    rm -f "$probe"
  fi
  [ "$vorn_32bit_answer" = yes ]
}

# Builds what this machine can run and points Wine at it, saying once which
# path it took; $1 names the caller, further arguments go to the
# configuration. Where 32-bit programs run, that is the 32-bit build in
# build/ under Debian's 32-bit Wine. Elsewhere it is a 64-bit build of the
# same sources in build/x64 (cmake/x86_64-mingw-posix.cmake) under Debian's
# own 64-bit Wine; build_dir and the Wine prefix then move there. What ships
# is the 32-bit build either way (scripts/check-dll reads it without running
# it).
vorn_build_runnable() {
  local who=$1
  shift
  "$root/scripts/setup"
  if vorn_runs_32bit; then
    echo "$who: the 32-bit build in $build_dir, under 32-bit Wine" >&2
    vorn_cmake_build "$build_dir" i686-mingw-posix "$@"
  else
    local why="this machine runs no 32-bit programs"
    [ "${VORN_WINE64:-0}" != 1 ] || why="VORN_WINE64=1"
    echo "$who: $why: the 64-bit build in $build_dir/x64, under 64-bit Wine" >&2
    vorn_use_wine64
    vorn_cmake_build "$build_dir" x86_64-mingw-posix "$@"
  fi
}

# The 64-bit path: build_dir becomes its x64 folder (with a prefix of its
# own there), and wine, wineserver and wineboot are Debian's 64-bit ones
# (scripts/wine64/), whatever else is installed.
vorn_use_wine64() {
  if [ "${vorn_on_wine64:-0}" != 1 ]; then
    build_dir=$build_dir/x64
    [ -n "${VORN_WINEPREFIX:-}" ] || export WINEPREFIX=$build_dir/wineprefix
    export VORN_BUILD_DIR=$build_dir VORN_WINEPREFIX=$WINEPREFIX
    export PATH=$root/scripts/wine64:$PATH WINEARCH=win64
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
    vorn_on_wine64=1
  fi
}

# Ninja for a new build folder: it compiles a target's sources while the
# libraries it links are still being built, where make waits for them, and so
# keeps both cores busy. A folder configured before keeps its generator.
vorn_generator() {
  [ -f "$1/CMakeCache.txt" ] || echo "-GNinja"
}

# Creates the prefix once (8-13 s); later runs reuse it. Either way its
# windows are left unmanaged (below). The Wine server started here has ended
# on return, so that the caller can start a persistent one.
vorn_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (once)..." >&2
    wineboot -i >/dev/null 2>&1 || true
    vorn_wine_unmanage
    wineserver -w
  elif ! vorn_wine_unmanaged; then
    # A prefix made before this setting: once. A server shared with another
    # demo command stays up.
    vorn_wine_unmanage
    [ "${VORN_SHARE_SERVER:-0}" = 1 ] || wineserver -w
  fi
}

# Slot k of the test prefix (scripts/wine-slot): a fresh copy of the prefix
# beside it, made anew for every run so that each slot starts from the same
# state. Its files are hard links, which costs no time or space: Wine writes
# the registry files by replacing them, and those are copied outright.
vorn_wine_slot() {
  local slot="$WINEPREFIX-$1"
  rm -rf "$slot"
  cp -al "$WINEPREFIX" "$slot"
  for file in system.reg user.reg userdef.reg; do
    rm -f "$slot/$file"
    cp -p "$WINEPREFIX/$file" "$slot/$file"
  done
  echo "$slot"
}

# Xvfb has no window manager, and Wine's X11 driver waits up to 2 s for one
# whenever a window it left to the manager closes: every dialog and message
# box. With Managed = N Wine places its windows itself and they close at once,
# as on Windows.
vorn_wine_unmanage() {
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
}

# Whether the prefix has it, read from its user.reg without starting Wine.
vorn_wine_unmanaged() {
  awk '/^\[/ { section = index($0, "[Software\\\\Wine\\\\X11 Driver]") == 1 }
       section && $0 == "\"Managed\"=\"N\"" { found = 1 }
       END { exit !found }' "$WINEPREFIX/user.reg" 2>/dev/null
}

# Stores the plug-in's settings (device 0, refresh every second) in the
# private prefix when they are missing, as the configuration dialog would.
vorn_seed_settings() {
  local key='HKCU\Software\Orvendel\Plugins\VORN'
  if ! wine reg query "$key" /v "Refresh Rate" </dev/null >/dev/null 2>&1; then
    wine reg add "$key" /v "Device ID" /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    wine reg add "$key" /v "Refresh Rate" /t REG_DWORD /d 1 /f </dev/null >/dev/null 2>&1
  fi
}
