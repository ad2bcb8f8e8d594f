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
# Wine: the kernels of some virtual machines cannot ("Exec format error").
# scripts/test then rehearses the Wine tests with a 64-bit build under
# 64-bit Wine (scripts/wine64-chroot); VORN_WINE64=1 asks for that anyway.
vorn_runs_32bit() {
  [ "${VORN_WINE64:-0}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1
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
