#!/usr/bin/env bash
# make bench-wine: the real lupina.exe under Wine switching between two pets of
# LUP_BENCH_MAILS (1000) mails each, the host's data unchanged since the last
# call, against a plain `cp -r` and `sync` of the same files on the same disk.
#
# call_bench.exe (bench/call_bench_win32.cpp) makes the host folder in a Wine
# prefix of its own (build/bench-wine/) and times, LUP_BENCH_REPS (5) times
# each: the launcher called for the pet the host already holds (Wine starting
# the program, the launcher's start and the host's start, nothing moved), and
# calls of the other pet in turn. The plain copy is what a switch without
# any care copies: the host's items out and the called pet's in, into fresh
# folders, then `sync`. Prints one table of medians and the ratio
#   (switch - start) / plain
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${LUP_BENCH_BUILD:-build/win64}
OUT=$ROOT/build/bench-wine
REPS=${LUP_BENCH_REPS:-5}
MAILS=${LUP_BENCH_MAILS:-1000}

bash scripts/deps.sh

LUP_BENCH_TARGETS="lupina hostsim call_bench"
source scripts/bench-wine-up.sh

PROGRAMS=$WINEPREFIX/drive_c/bench-call-programs
rm -rf "$PROGRAMS"
mkdir -p "$PROGRAMS"
cp "$BUILD/launcher/lupina.exe" "$BUILD/tools/hostsim/hostsim.exe" "$BUILD/bench/call_bench.exe" "$PROGRAMS/"

echo "== $REPS runs of each call, $MAILS mails a pet" >&2
RAW=$OUT/raw.txt
(cd "$PROGRAMS" && wine 'C:\bench-call-programs\call_bench.exe' 'C:\bench-call' "$MAILS" "$REPS" \
   </dev/null 2>"$OUT/errors.log") | tr -d '\r' >"$RAW" \
  || { cat "$OUT/errors.log" >&2; echo "call_bench failed (see $OUT/errors.log)" >&2; exit 1; }

# The plain copy, on the host folder call_bench made: the host's items (ミミ's
# data) out and ソラ's in, each into a fresh folder, then sync.
D=$WINEPREFIX/drive_c/bench-call/ホスト
items=(PostPet設定.ppc おともだち帳 受信フォルダ 送信フォルダ おやつ 宝物)
PLAIN=$WINEPREFIX/drive_c/bench-call/plain
for ((rep = 1; rep <= REPS; rep++)); do
  rm -rf "$PLAIN"
  mkdir -p "$PLAIN/out" "$PLAIN/in"
  sync
  begin=$(date +%s%N)
  for item in "${items[@]}"; do
    cp -r "$D/$item" "$PLAIN/out/"
    cp -r "$D/ソラ_$item" "$PLAIN/in/"
  done
  sync
  end=$(date +%s%N)
  printf 'call-bench plain %d.%09d\n' $(((end - begin) / 1000000000)) $(((end - begin) % 1000000000)) >>"$RAW"
done
rm -rf "$PLAIN"

awk -v reps="$REPS" -v mails="$MAILS" '
  function median(list,    v, n, i, j, t) {
    n = split(list, v, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return v[int((n + 1) / 2)]
  }
  $1 == "call-bench" { runs[$2] = runs[$2] " " $3 }
  END {
    start = median(runs["start"]); sw = median(runs["switch"]); plain = median(runs["plain"])
    printf "%-40s %9s\n", "name", "seconds"
    printf "%-40s %9.3f\n", "launcher, the current pet (start-up)", start
    printf "%-40s %9.3f\n", "launcher, switching pets", sw
    printf "%-40s %9.3f\n", "switching less start-up", sw - start
    printf "%-40s %9.3f\n", "plain cp -r and sync", plain
    printf "%-40s %9.2f\n", "ratio", (sw - start) / plain
    printf "(median of %d runs, %d mails a pet, the host data unchanged since the last call)\n", reps, mails
  }' "$RAW" | tee "$OUT/table.txt"
