#!/usr/bin/env bash
# The shipped programs load at start only libraries that Windows always takes
# from its system folder (its "known DLLs"), and the common controls, which
# the manifest takes from the side-by-side store: a DLL of another name
# dropped beside a program would be loaded before any code of ours runs.
set -euo pipefail
allowed=" ADVAPI32.DLL COMCTL32.DLL COMDLG32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL OLEAUT32.DLL SHELL32.DLL USER32.DLL SHLWAPI.DLL "
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
status=0
for exe in "$@"; do
  while read -r dll; do
    upper=$(tr '[:lower:]' '[:upper:]' <<<"$dll")
    if [[ "$allowed" != *" $upper "* ]]; then
      echo "$(basename "$exe") loads $dll at start, which Windows may take from the program's folder"
      status=1
    fi
  done < <("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
[ $status -eq 0 ] && echo "only system libraries are loaded at start: $*"
exit $status
