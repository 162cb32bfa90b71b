#!/usr/bin/env bash
# make stress: the real launcher under Wine, ended with TerminateProcess at
# times spread over whole calls, and after every kill a fresh call whose
# result is checked file by file; then the same for the utility's backup and
# the snack manager's move, then the utility's registration of a new pet. KILLS (default 200) and SEED (default: a
# fresh one, printed) choose the run; the same SEED gives the same kill times.
# First, natively: every state a power cut may leave during a call, a backup
# and a repair (each unflushed write lost alone, and random sets of them).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native --target call_pet_test core_test
LUP_POWER_CUTS=all build/native/launcher/call_pet_test --gtest_filter='*PowerCuts*'
LUP_POWER_CUTS=all build/native/core/core_test --gtest_filter='*PowerCuts*'
cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" >/dev/null
cmake --build build/win64 --target lup_call_stress lup_backup_stress lup_snack_stress lup_newpet_stress
# A Wine prefix of its own: the runs rewrite the settings in its registry.
export WINEPREFIX="$PWD/build/stress/wineprefix"
source scripts/wine-env.sh
lup_wine_up
trap lup_wine_down EXIT
args=(--kills "${KILLS:-200}")
[ -n "${SEED:-}" ] && args+=(--seed "$SEED")
bash scripts/wine-run.sh build/win64/tests/stress/lup_call_stress.exe "${args[@]}"
bash scripts/wine-run.sh build/win64/tests/stress/lup_backup_stress.exe "${args[@]}"
bash scripts/wine-run.sh build/win64/tests/stress/lup_snack_stress.exe "${args[@]}"
bash scripts/wine-run.sh build/win64/tests/stress/lup_newpet_stress.exe "${args[@]}"
