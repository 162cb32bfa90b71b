#!/usr/bin/env bash
# Builds the native tree, the same tree with AddressSanitizer and
# UndefinedBehaviorSanitizer (build/asan) and the Windows tree, runs the three
# test suites and prints one closing line that counts them together.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh || exit 1
jobs=${JOBS:-$(nproc)}
passed=0; failed=0; status=0

count() { # $1 = ctest log
  local line total nfail
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n1)
  if [ -z "$line" ]; then failed=$((failed + 1)); status=1; return; fi
  nfail=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + total - nfail)); failed=$((failed + nfail))
  [ "$nfail" -eq 0 ] || status=1
}

echo "== native build"
if cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >build/native.configure.log 2>&1 || { cat build/native.configure.log; false; } \
   && cmake --build build/native -j "$jobs"; then
  echo "== native tests"
  (cd build/native && ctest --output-on-failure -j "$jobs" --timeout 300) | tee build/native.ctest.log
  count build/native.ctest.log
else
  echo "native build failed"; status=1; failed=$((failed + 1))
fi

echo "== sanitizer build"
# Every native test again, with memory faults, leaks and undefined behaviour
# failing the test that causes them.
if cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUP_SANITIZE=ON >build/asan.configure.log 2>&1 || { cat build/asan.configure.log; false; } \
   && cmake --build build/asan -j "$jobs"; then
  echo "== sanitizer tests"
  (cd build/asan && ASAN_OPTIONS=detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
     UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j "$jobs" --timeout 300) | tee build/asan.ctest.log
  count build/asan.ctest.log
else
  echo "sanitizer build failed"; status=1; failed=$((failed + 1))
fi

echo "== windows build"
mkdir -p build
if cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
     -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" >build/win64.configure.log 2>&1 || { cat build/win64.configure.log; false; } \
   && cmake --build build/win64 -j "$jobs"; then
  echo "== windows tests (wine)"
  source scripts/wine-env.sh
  lup_wine_up
  (cd build/win64 && ctest --output-on-failure -j 1 --timeout 300) | tee build/win64.ctest.log
  count build/win64.ctest.log
  lup_wine_down
  echo "== windows at 144 and 192 DPI (wine)"
  bash scripts/dpi-check.sh >/dev/null 2>&1
  count build/dpi-144.ctest.log
  count build/dpi-192.ctest.log
else
  echo "windows build failed"; status=1; failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
exit $status
