# Sourced by the scripts that run Windows programs: a private Wine prefix under
# build/, a display (Xvfb when none is there) and a running wine server.
LUP_ROOT=${LUP_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$LUP_ROOT/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LANG=C.UTF-8
LUP_XVFB_PID=
lup_wine_up() {
  if [ -z "${DISPLAY:-}" ]; then
    # Xvfb picks a free display number itself and says which once it is
    # ready: two runs side by side (another clone's tests, a build) never
    # share one server, so one ending cannot take the other's display away.
    local numberFile
    numberFile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
    LUP_XVFB_PID=$!
    for _ in $(seq 300); do [ -s "$numberFile" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n 1 "$numberFile")"
    rm -f "$numberFile"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  wineserver -p >/dev/null 2>&1 || true
  # Start Wine's own background processes now, away from any pipe.
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}
lup_wine_down() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$LUP_XVFB_PID" ] && kill "$LUP_XVFB_PID" 2>/dev/null || true
  LUP_XVFB_PID=
}
