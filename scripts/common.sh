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
  cmake -S "$root" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-mingw-posix.cmake" "$@" >/dev/null
  cmake --build "$build_dir" -j"$(nproc)"
}

# Creates the prefix once (8-13 s); later runs reuse it.
vorn_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (once)..." >&2
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
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
