#!/usr/bin/env bash
# Checks what VORN.dll asks of the machine it is loaded on:
# - every import (DLL and function, or ordinal) is one of those listed with its
#   minimum Windows in allowedImports.txt, and every listed one is imported:
#   nothing new comes in unnoticed (a MinGW runtime DLL, a newer Windows call,
#   the bridge library by name instead of by ordinal);
# - no thread library is linked in: its imports (thread suspension and
#   context, process and affinity calls, a vectored exception handler) and
#   its names (pthread, winpthread) stay out of the file (the plug-in itself
#   never suspends a thread nor reads its context: an unload counts the calls
#   inside instead);
# - the header asks for Windows 7 (6.1) as OS and subsystem version.
# Usage: checkImports.sh OBJDUMP DLL ALLOWED_LIST
set -euo pipefail
export LC_ALL=C
objdump=$1 dll=$2 list=$3
table=$("$objdump" -p "$dll")
status=0
fail() { echo "$*"; status=1; }

# "DLL function" or "DLL #ordinal", one per import.
imports=$(awk '
  /^[[:space:]]*DLL Name: / { dll = $3; next }
  /^[[:space:]]*$/ { dll = ""; next }
  dll != "" && /^\t[0-9a-f]+\t *[0-9]+ +/ {
    if ($3 == "<none>") print dll, "#" $2; else print dll, $3
  }' <<<"$table" | sort -u)
[ -n "$imports" ] || fail "no imports found in $dll: objdump's format changed?"

allowed=$(grep -v '^\s*#' "$list" | awk 'NF { print $1, $2 }' | sort -u)
while read -r dllName function minimum extra; do
  case "$minimum" in
    XP | Vista | 7 | driver) ;;
    *) fail "allowedImports.txt: $dllName $function needs Windows '$minimum': the plug-in promises Windows 7" ;;
  esac
done < <(grep -v '^\s*#' "$list" | awk 'NF')

while read -r entry; do
  fail "import not in allowedImports.txt: $entry"
done < <(comm -23 <(echo "$imports") <(echo "$allowed"))
while read -r entry; do
  [ -n "$entry" ] && fail "listed in allowedImports.txt but not imported (remove it): $entry"
done < <(comm -13 <(echo "$imports") <(echo "$allowed"))

# The thread library's marks, named plainly should they come back.
for function in SuspendThread GetThreadContext SetThreadContext OpenProcess SetProcessAffinityMask \
  AddVectoredExceptionHandler _beginthreadex; do
  grep -q " $function\$" <<<"$imports" && fail "thread library linked in: imports $function"
done
if grep -a -q -i -E 'pthread' "$dll"; then
  fail "thread library linked in: $(grep -a -o -i -E '[[:alnum:]_./-]*pthread[[:alnum:]_./-]*' "$dll" | sort -u | head -3 | tr '\n' ' ')"
fi

# Windows 7 (6.1) as the lowest OS and subsystem version, set by the link.
for field in MajorOSystemVersion:6 MinorOSystemVersion:1 MajorSubsystemVersion:6 MinorSubsystemVersion:1; do
  name=${field%%:*} want=${field##*:}
  got=$(awk -v n="$name" '$1 == n { print $2 }' <<<"$table")
  [ "$got" = "$want" ] || fail "header $name is '$got', not $want (Windows 7)"
done

[ $status -eq 0 ] && echo "imports: $(wc -l <<<"$imports") as listed in $(basename "$list"); no thread library; Windows 6.1"
exit $status
