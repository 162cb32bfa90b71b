# Sourced by the Wine benchmarks (bench-windows.sh, bench-wine.sh), with ROOT,
# BUILD and OUT set: builds the Release Windows targets named in
# LUP_BENCH_TARGETS into BUILD, then starts Wine in a prefix of OUT's own on a
# private Xvfb, stopped when the script ends.
echo "== building the Windows programs in $BUILD" >&2
mkdir -p "$BUILD" "$OUT"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" >"$OUT/configure.log" 2>&1 \
  || { cat "$OUT/configure.log"; exit 1; }
# shellcheck disable=SC2086
cmake --build "$BUILD" -j "${JOBS:-2}" --target $LUP_BENCH_TARGETS >"$OUT/build.log" 2>&1 \
  || { cat "$OUT/build.log"; exit 1; }

export WINEPREFIX=$OUT/wineprefix
# A display of our own: nothing else draws on it or takes the focus.
unset DISPLAY
source scripts/wine-env.sh
echo "== starting Wine (prefix $WINEPREFIX)" >&2
lup_wine_up
trap lup_wine_down EXIT
# No window manager runs here: without this, Wine waits for one for two
# seconds whenever a window goes.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
