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
# folders, then `sync`. Beside it, the least the switch's writing could cost
# there: safe_floor.exe (bench/safe_floor_win32.cpp) replacing as many files
# the safe way and doing nothing else, timed by its own clock in turn with
# the switches. Prints one table of medians and the ratios
#   (switch - start) / plain      (switch - start) / floor
# and the Wine server requests of the launcher per file it writes and per
# file it finds unchanged, and those of the safe floor per file, counted
# from one more run of the calls under a tracing server (see below).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${LUP_BENCH_BUILD:-build/win64}
OUT=$ROOT/build/bench-wine
REPS=${LUP_BENCH_REPS:-5}
MAILS=${LUP_BENCH_MAILS:-1000}

bash scripts/deps.sh

LUP_BENCH_TARGETS="lupina hostsim call_bench safe_floor"
source scripts/bench-wine-up.sh

PROGRAMS=$WINEPREFIX/drive_c/bench-call-programs
rm -rf "$PROGRAMS"
mkdir -p "$PROGRAMS"
cp "$BUILD/launcher/lupina.exe" "$BUILD/tools/hostsim/hostsim.exe" "$BUILD/bench/call_bench.exe" \
  "$BUILD/bench/safe_floor.exe" "$PROGRAMS/"

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

# ---- The server requests of the launcher, counted from a traced run.
# The prefix's server is stopped, and the next one is started by call_bench
# itself with WINEDEBUG=+server in its environment: that server writes every
# request it gets to its stderr, `<thread>: <request>( <fields> )`, and each
# reply, `<thread>: <request>() = <status> { <fields> }` (thread and process
# ids in hex). call_bench (its trace mode, bench/call_bench_win32.cpp) then
# calls, on the host folder the timed runs left (1,023 data files a pet at
# 1,000 mails: the two files, the mails, 10 snacks, 10 treasures and the box):
#   warm-up    ミミ, the current pet: not counted (the first start after the
#              server's own);
#   current    ミミ again: nothing moved, the start-up and the host's start
#              only (a);
#   unchanged  ソラ: ミミ's host files compared with her copies and found
#              unchanged, every file of ソラ's written into the host folder,
#              as in the timed switches (b);
#   changed    after call_bench gave every host file (ソラ's now) new bytes of
#              the same length, ミミ: every host file compared and written into
#              ソラ's copies, every file of ミミ's written into the host folder (c).
# call_bench counts the files from the folder itself: before (b) the data files
# of the host's items (U_b, each found unchanged) and of ソラ's copies (W_b,
# each written); before (c) the host's (changed) and ミミ's, together W_c; and
# after (c) how many of ソラ's copies hold the changed bytes (must be all).
# Last, safe_floor.exe writing nothing (d0, its start-up), then writing
# ソラ's copies over the floor's folders (d), and how many files it wrote, F.
# \lupina.dat, cleared and rewritten by a switch, is not counted as a file:
# its few requests fall onto the files.
#
# Only the requests of the launcher's own process are counted: a thread's
# process is read from the trace (its first thread's `init_first_thread`
# reply names it; a later thread is the one a `new_thread` of that process's
# own (process=ffffffff) or of its parent (the handle its `new_process`
# returned) names, until its `init_thread`), and the launcher's processes are
# those a `new_process` with the image lupina.exe made, in the order of their
# starts (and safe_floor's the same way, its image safe_floor.exe); their
# ids are checked against those call_bench got. The host
# stand-in's requests, and those of Wine's own processes, are not counted.
# Then
#   per written file    = ((c) - (a)) / W_c
#   per unchanged file  = ((b) - (a) - W_b x per written file) / U_b
#   the floor's         = ((d) - (d0)) / F
# Every file written here is first compared with the one it replaces (the
# same length), as the bring-in's are in the timed switches: a written file's
# requests are those of its comparison and of its writing.
echo "== the calls once more under a tracing Wine server" >&2
TRACE=$OUT/server-trace.txt
traceBegin=$(date +%s%N)
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
(cd "$PROGRAMS" && WINEDEBUG=+server wine 'C:\bench-call-programs\call_bench.exe' 'C:\bench-call' trace \
   </dev/null >"$OUT/trace-calls.txt" 2>"$TRACE") \
  || { grep -av '^[0-9a-f]*: ' "$TRACE" | tail -n 20 >&2; echo "call_bench trace failed (see $TRACE)" >&2; exit 1; }
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
traceEnd=$(date +%s%N)
tr -d '\r' <"$OUT/trace-calls.txt" >>"$RAW"
printf 'call-trace seconds %d.%03d\n' $(((traceEnd - traceBegin) / 1000000000)) \
  $(((traceEnd - traceBegin) % 1000000000 / 1000000)) >>"$RAW"
# Prints `server-requests <image> <pid> <requests>` for each process started
# from lupina.exe or safe_floor.exe, in the order of their starts (the pid in
# decimal), then the requests of threads tied to no process and of all.
awk '
  function field(text, name,    at, rest) {
    at = index(text, name "=")
    if (at == 0) return ""
    rest = substr(text, at + length(name) + 1)
    match(rest, /^[0-9a-f]+/)
    return substr(rest, 1, RLENGTH)
  }
  function number(hex,    i, n) {
    n = 0
    for (i = 1; i <= length(hex); i++) n = n * 16 + index("0123456789abcdef", substr(hex, i, 1)) - 1
    return n
  }
  {
    if (!match($0, /^[0-9a-f]+: /)) next
    tid = substr($0, 1, RLENGTH - 2)
    rest = substr($0, RLENGTH + 1)
    if (!match(rest, /^[a-z_0-9]+\(/)) next         # *fd*, *wakeup*, *killed* and such
    name = substr(rest, 1, RLENGTH - 1)
    if (substr(rest, RLENGTH + 1, 4) == ") = ") {    # a reply
      if (name == "init_first_thread") {
        pid = field(rest, "pid"); n = ++instances
        inst[tid] = n; pidOf[n] = pid; latest[pid] = n
        count[n]++                                   # its request, counted now
        if (pid in imageOfPid) { counted[++started] = n; image[n] = imageOfPid[pid]; delete imageOfPid[pid] }
      } else if (name == "new_process") {
        pid = field(rest, "pid")
        processOf[inst[tid] SUBSEP field(rest, "handle")] = pid
        if (startsImage[tid] != "") imageOfPid[pid] = startsImage[tid]
      } else if (name == "new_thread") {
        h = threadIn[tid]
        owner[field(rest, "tid")] = h == "ffffffff" ? pidOf[inst[tid]] : processOf[inst[tid] SUBSEP h]
      }
      next
    }
    all++
    if (name == "init_first_thread") { inst[tid] = ""; next }
    if (name == "init_thread") inst[tid] = (owner[tid] != "" && (owner[tid] in latest)) ? latest[owner[tid]] : ""
    else if (name == "new_process")
      startsImage[tid] = rest ~ /imagepath=L"[^"]*\\lupina\.exe"/ ? "lupina" : rest ~ /imagepath=L"[^"]*\\safe_floor\.exe"/ ? "safe_floor" : ""
    else if (name == "new_thread") threadIn[tid] = field(rest, "process")
    if (inst[tid] != "") count[inst[tid]]++
    else unknown++
  }
  END {
    for (i = 1; i <= started; i++) print "server-requests", image[counted[i]], number(pidOf[counted[i]]), count[counted[i]] + 0
    print "server-requests unknown", unknown + 0
    print "server-requests all", all + 0
  }' "$TRACE" >>"$RAW"

awk -v reps="$REPS" -v mails="$MAILS" -v trace="$TRACE" '
  function median(list,    v, n, i, j, t) {
    n = split(list, v, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return v[int((n + 1) / 2)]
  }
  $1 == "call-bench" { runs[$2] = runs[$2] " " $3 }
  $1 == "call-trace" && $2 == "files" { ub = $3; wb = $4 }
  $1 == "call-trace" && $2 == "changed-files" { changedHost = $3; wc = $3 + $4 }
  $1 == "call-trace" && $2 == "put-away-written" { put = $3 }
  $1 == "call-trace" && $2 == "seconds" { traced = $3 }
  $1 == "call-trace" && $4 ~ /\./ { tracedPid[$2] = $3 }
  $1 == "call-trace" && $2 == "floor-files" { floorFiles = $3 }
  $1 == "server-requests" && $2 == "lupina" { lupinaPid[++lupinas] = $3; requests[lupinas] = $4 }
  $1 == "server-requests" && $2 == "safe_floor" { floorPid[++floors] = $3; floorRequests[floors] = $4 }
  END {
    split("warm-up current unchanged changed", role, " ")
    start = median(runs["start"]); sw = median(runs["switch"]); plain = median(runs["plain"])
    floor = median(runs["floor"])
    printf "%-40s %9s\n", "name", "seconds"
    printf "%-40s %9.3f\n", "launcher, the current pet (start-up)", start
    printf "%-40s %9.3f\n", "launcher, switching pets", sw
    printf "%-40s %9.3f\n", "switching less start-up", sw - start
    printf "%-40s %9.3f\n", "plain cp -r and sync", plain
    printf "%-40s %9.3f\n", "safe floor (safe_floor.exe)", floor
    printf "%-40s %9.2f\n", "ratio", (sw - start) / plain
    printf "%-40s %9.2f\n", "ratio to the safe floor", (sw - start) / floor
    if (lupinas != 4 || put != changedHost || floors != 2 || floorFiles < 1) fail = 1
    if (floorPid[1] != tracedPid["floor-start"] || floorPid[2] != tracedPid["floor"]) fail = 1
    for (i = 1; i <= 4 && !fail; i++) if (lupinaPid[i] != tracedPid[role[i]]) fail = 1
    if (fail) {
      print "the traced run does not match the calls made (" lupinas " launcher processes; see " trace ")" >"/dev/stderr"
      exit 1
    }
    a = requests[2]; b = requests[3]; c = requests[4]
    written = (c - a) / wc
    unchanged = (b - a - wb * written) / ub
    printf "%-40s %9.1f   (target at most 7)    %s\n", "server requests per written file", written, written <= 7 ? "met" : "not met"
    floorWritten = (floorRequests[2] - floorRequests[1]) / floorFiles
    printf "%-40s %9.1f\n", "  the same, safe_floor.exe", floorWritten
    printf "%-40s %9.1f   (target at most 0.2)  %s\n", "server requests per unchanged file", unchanged, unchanged <= 0.2 ? "met" : "not met"
    printf "(median of %d runs, %d mails a pet, the host data unchanged since the last call)\n", reps, mails
    printf "(server requests of lupina.exe, traced once each: %d calling the current pet; %d switching,\n", a, b
    printf " %d files written, %d unchanged; %d switching, every host file changed, %d written; traced in %.0f s;\n", wb, ub, c, wc, traced
    printf " the safe floor: %d starting, %d writing %d files)\n", floorRequests[1], floorRequests[2], floorFiles
  }' "$RAW" | tee "$OUT/table.txt"
