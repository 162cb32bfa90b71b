#!/usr/bin/env bash
# The windows of the three programs at 150 % and 200 % scaling (144 and 192
# DPI): each program's window tests run again in a Wine prefix whose screen
# has that DPI. They check that every caption fits its control and leave
# screenshots named "-144dpi" and "-192dpi" in build/win64/screenshots/.
# Needs a built build/win64 (make check builds it).
set -uo pipefail
cd "$(dirname "$0")/.."
status=0
for dpi in 144 192; do
  export WINEPREFIX="$PWD/build/dpi-$dpi/wineprefix"
  (
    unset DISPLAY
    source scripts/wine-env.sh
    lup_wine_up
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wineserver -k; wineserver -w
    lup_wine_up
    cd build/win64 && ctest --output-on-failure -j 1 --timeout 300 \
      -R 'LauncherWindowsTest|Win32SnackWindowTest|UtilityWindowsTest|DataDialogsWindowsTest' | tee "../dpi-$dpi.ctest.log"
    code=${PIPESTATUS[0]}
    lup_wine_down
    exit "$code"
  ) || status=1
done
exit $status
