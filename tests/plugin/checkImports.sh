#!/usr/bin/env bash
# Fails when the plug-in imports a DLL a user's machine may not have (a MinGW
# runtime, say), or imports from the bridge library by name, not by ordinal.
set -euo pipefail
objdump=$1 dll=$2
table=$("$objdump" -p "$dll")
allowed='^(KERNEL32|USER32|ADVAPI32|msvcrt|FTD2XX)\.dll$'
status=0
while read -r name; do
  if ! [[ $name =~ $allowed ]]; then
    echo "unexpected import: $name"; status=1
  fi
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$table")
# Every FTD2XX.dll import is an ordinal (shown as 8000xxxx), never a name.
ftd=$(awk '/DLL Name: FTD2XX.dll/{f=1;next} /DLL Name:/{f=0} f' <<<"$table")
if grep -E '^\s+[0-9a-f]+\s+[0-9]+\s+FT_' <<<"$ftd"; then
  echo "FTD2XX.dll is imported by name"; status=1
fi
# ... and all seven operations are there: open, close, read, write, baud rate,
# data characteristics, time-outs (ordinals 1, 2, 3, 4, 7, 8, 17).
if grep -q 'DLL Name: FTD2XX.dll' <<<"$table"; then
  for ordinal in 80000001 80000002 80000003 80000004 80000007 80000008 80000011; do
    grep -q "^\s*$ordinal\b" <<<"$ftd" || { echo "FTD2XX.dll ordinal import $ordinal missing"; status=1; }
  done
fi
[ $status -eq 0 ] && echo "imports: $(sed -n 's/^\s*DLL Name: //p' <<<"$table" | tr '\n' ' ')"
exit $status
