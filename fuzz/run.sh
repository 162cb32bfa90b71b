#!/usr/bin/env bash
# make fuzz: builds the fuzz tree (build/fuzz, clang, libFuzzer with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each target in
# turn for FUZZ_SECONDS (20 by default), starting from the seed corpus of
# fuzz/corpus/<target>. FUZZ_TARGETS="snack codepage" runs only those.
# New inputs go to build/fuzz/corpus/<target>, crashes and hangs to
# build/fuzz/findings/<target>/; the run fails when any target found one.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh || exit 1
seconds=${FUZZ_SECONDS:-20}
out=build/fuzz
mkdir -p build
if ! CC=clang CXX=clang++ cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       -DLUP_FUZZ=ON >build/fuzz.configure.log 2>&1; then
  cat build/fuzz.configure.log; exit 1
fi
cmake --build "$out" -j "${JOBS:-2}" --target fuzzers || exit 1
targets=${FUZZ_TARGETS:-$(tr ';' ' ' <"$out/fuzz/targets.txt")}

# The list-file and snack targets write their input to a file per run: a
# memory file system keeps that cheap.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
# Each run is small: a smaller quarantine still holds every block one run
# frees, and spares the page faults of a large one.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=8}

status=0; total=0
summary="$out/summary.txt"
: >"$summary"
for t in $targets; do
  seeds=fuzz/corpus/$t
  corpus=$out/corpus/$t
  findings=$out/findings/$t
  rm -rf "$findings"  # the findings of the last run only
  mkdir -p "$corpus" "$findings"
  dict=()  # fuzz/<target>.dict, or fuzz/list.dict for both list_* targets
  for d in "fuzz/$t.dict" "fuzz/${t%%_*}.dict"; do
    [ -f "$d" ] && { dict=(-dict="$d"); break; }
  done
  echo "== fuzz_$t for ${seconds}s"
  log=$out/$t.log
  "$out/fuzz/fuzz_$t" "$corpus" "$seeds" "${dict[@]}" -max_total_time="$seconds" \
    -timeout=20 -max_len=4096 -use_value_profile=1 -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  execs=${execs:-0}
  total=$((total + execs))
  if [ $rc -eq 0 ]; then
    result="nothing found"
  else
    status=1
    result="FOUND: $(ls "$findings" | tr '\n' ' ')"
    grep -E 'ERROR|property broken|runtime error|SUMMARY' "$log" | head -n 5
  fi
  printf '%-14s %12s executions  %s\n' "$t" "$execs" "$result" | tee -a "$summary"
done
printf '%-14s %12s executions\n' "total" "$total" | tee -a "$summary"
exit $status
