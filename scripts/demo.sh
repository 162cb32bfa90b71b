#!/usr/bin/env bash
# make demo: builds the Windows programs, installs a demo host folder with
# three pets in a Wine prefix of its own (build/demo/wineprefix) and starts
# lupina.exe from C:\ルピナ. With a display the window is left to the user;
# without one the script starts Xvfb, saves screenshots to build/demo/ and
# ends everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${LUP_DEMO_BUILD:-build/win64}
OUT=$ROOT/build/demo

bash scripts/deps.sh

echo "== building the Windows programs in $BUILD"
mkdir -p "$BUILD" "$OUT"
BUILD=$(cd "$BUILD" && pwd)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" >"$OUT/configure.log" 2>&1 \
  || { cat "$OUT/configure.log"; exit 1; }
targets=(lupina hostsim lupsnack lupset e2e_call_pet_test)
cmake --build "$BUILD" -j "${JOBS:-$(nproc)}" --target "${targets[@]}"

# Never the user's own Wine prefix: the demo replaces a host folder in it.
export WINEPREFIX=$OUT/wineprefix
USER_DISPLAY=${DISPLAY:-}
source scripts/wine-env.sh
echo "== starting Wine (prefix $WINEPREFIX)"
lup_wine_up

DRIVE_C=$WINEPREFIX/drive_c
D="$DRIVE_C/Program Files/So-net/PostPet for Windows ver. 2.0"
PROGRAMS="$DRIVE_C/ルピナ"

# ---- helpers -------------------------------------------------------------

# Text file with CR LF line ends in CP932 (the list files).
cp932() { # file, then the lines
  local file=$1; shift
  printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$file"
}
byte() { printf "\\x$(printf %02x "$1")"; }
le16() { byte $(($1 & 255)); byte $((($1 >> 8) & 255)); }
put() { dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }

# A snack file: name, pieces, keep days, opened year month day (0 0 0: unopened).
snack() { # file name count keepDays year month day
  local file=$1 name=$2
  mkdir -p "$(dirname "$file")"
  head -c 960 /dev/zero >"$file"
  printf 'PAC0' | put "$file" 0
  local sjis_len
  sjis_len=$(printf '%s' "$name" | iconv -f UTF-8 -t CP932 | wc -c)
  byte "$sjis_len" | put "$file" 32
  printf '%s' "$name" | iconv -f UTF-8 -t CP932 | put "$file" 33
  le16 "$3" | put "$file" 881
  le16 "$4" | put "$file" 883
  le16 "$5" | put "$file" 889
  le16 "$6" | put "$file" 891
  le16 "$7" | put "$file" 893
}

# A treasure box with one record tagged with the pet's kind (ASCII), its
# value 16 bytes after the tag's first byte.
treasure() { # folder kind
  mkdir -p "$1"
  { printf 'TZL1'; head -c 12 /dev/zero; printf '%s' "$2"; head -c $((16 - ${#2})) /dev/zero; le16 3;
    head -c 30 /dev/zero; } >"$1/tzl001.pac"
}

mail() { # folder file text
  mkdir -p "$1"
  printf '%s\r\n' "$3" >"$1/$2"
}

pet_settings() { # file name kind
  printf 'name=%s\r\nkind=%s\r\n' "$2" "$3" >"$1"
}

# ---- the demo installation -------------------------------------------------

echo "== installing the demo host folder"
rm -rf "$D"
mkdir -p "$D"
cp "$BUILD/tools/hostsim/hostsim.exe" "$D/PostPet20.exe"

# Three pets. ミミ was called last, so the host copies hold her data.
pet_settings "$D/ミミ_PostPet設定.ppc" ミミ くま
pet_settings "$D/ソラ_PostPet設定.ppc" ソラ ねこ
pet_settings "$D/能登_PostPet設定.ppc" 能登 かめ
cp "$D/ミミ_PostPet設定.ppc" "$D/PostPet設定.ppc"

# Share flags: ミミ keeps everything to herself, ソラ shares her friend book
# and mail, 能登 shares everything.
cp932 "$D/lupina3.dat" '"ミミ",0,0,0,0' '"ソラ",1,1,0,0' '"能登",1,1,1,1'
cp932 "$D/lupina.dat" '"ミミ"'

# ミミ's data, in the host copies and her own copies.
for prefix in "" "ミミ_"; do
  printf 'ハナ\r\nタロウ\r\n' >"$D/${prefix}おともだち帳"
  mail "$D/${prefix}受信フォルダ" mail0001.txt 'こんにちは、ミミ。'
  mail "$D/${prefix}受信フォルダ" mail0002.txt 'お元気ですか？'
  mail "$D/${prefix}送信フォルダ" sent0001.txt 'ハナちゃんへ'
  treasure "$D/${prefix}宝物" BEAR
  snack "$D/${prefix}おやつ/snack01.pac" いちごケーキ 3 30 0 0 0
  snack "$D/${prefix}おやつ/snack02.pac" 古いクッキー 2 7 2019 4 1
done
printf 'hat\r\n' >"$D/ミミ_宝物/hat.dat"

# ソラ's own copies (snacks, treasures).
treasure "$D/ソラ_宝物" CAT
snack "$D/ソラ_おやつ/snack01.pac" ミルク 65535 65535 2024 1 10
snack "$D/ソラ_おやつ/snack02.pac" 期限切れプリン 1 3 2020 12 24

# The shared folder, used by ソラ and 能登.
mkdir -p "$D/共有"
printf 'ポチ\r\nミケ\r\n' >"$D/共有/おともだち帳"
mail "$D/共有/受信フォルダ" mail0101.txt 'みんなへのお知らせ'
mkdir -p "$D/共有/送信フォルダ"
treasure "$D/共有/宝物" KAME
snack "$D/共有/おやつ/snack01.pac" おせんべい 5 365 0 0 0
snack "$D/共有/おやつ/snack02.pac" かしわもち 1 5 2018 5 5

# No settings from an earlier run: the launcher finds the default host folder.
wine reg delete 'HKCU\Software\VB and VBA Program Settings\Lupina' /f >/dev/null 2>&1 || true

mkdir -p "$PROGRAMS"
cp "$BUILD/launcher/lupina.exe" "$PROGRAMS/"
cp "$BUILD/snacks/lupsnack.exe" "$BUILD/utility/lupset.exe" "$PROGRAMS/"

echo "== starting C:\\ルピナ\\lupina.exe"
cd "$PROGRAMS"
if [ -n "$USER_DISPLAY" ]; then
  # The window is the user's: wait until the launcher, and the host it may
  # have started, have ended.
  wine 'C:\ルピナ\lupina.exe' || true
  wineserver -w
  exit 0
fi

# Saves the screen as $1 once it shows something (a fresh prefix takes a
# while) and two looks at it half a second apart show the same (the window
# has finished painting). False after a minute.
shoot() {
  rm -f "$1"
  local last='' now
  for _ in $(seq 120); do
    sleep 0.5
    import -window root "$OUT/screen.png" 2>/dev/null || continue
    [ "$(convert "$OUT/screen.png" -format '%[fx:standard_deviation>0]' info:)" = 1 ] || continue
    now=$(convert "$OUT/screen.png" -depth 8 rgb:- | md5sum)
    if [ "$now" = "$last" ]; then
      # Without a window manager the windows lie on a black screen: keep them only.
      convert "$OUT/screen.png" -trim +repage "$1"
      rm -f "$OUT/screen.png"
      return 0
    fi
    last=$now
  done
  rm -f "$OUT/screen.png"
  return 1
}

# Waits until a window whose caption is $1 is shown; after a minute says so
# and fails the demo.
await_window() { # caption
  timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" >/dev/null && return 0
  echo "the window $1 did not appear within a minute" >&2
  status=1
}
# How many windows whose caption is $1 are shown.
windows_named() { # caption
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l
}
# Waits until more than $2 windows whose caption is $1 are shown (a message
# box with the program's own title over its window); after a minute says so
# and fails the demo.
await_more_windows() { # caption count
  for _ in $(seq 120); do
    [ "$(windows_named "$1")" -gt "$2" ] && return 0
    sleep 0.5
  done
  echo "no message with the title $1 within a minute" >&2
  status=1
}

# Double-clicks the pet in row `row` (1 = the first pet) of the pet list.
double_click_row() { # row
  local wid
  wid=$(xdotool search --sync --onlyvisible --name '^ルピナ・ヴィラ$' | head -n1)
  # The grid lies at the top of the window: a header row, then one row a pet.
  xdotool mousemove --window "$wid" 40 $((22 + ($1 - 1) * 17 + 8)) click --repeat 2 --delay 100 1
}
# Ends the stand-in host the way its close box does, and waits for it.
close_host() {
  wine taskkill /IM PostPet20.exe >/dev/null 2>&1 </dev/null || true
  for _ in $(seq 20); do
    pgrep -f 'PostPet20\.exe' >/dev/null || return 0
    sleep 0.5
  done
  pkill -9 -f 'PostPet20\.exe' || true
  for _ in $(seq 20); do
    pgrep -f 'PostPet20\.exe' >/dev/null || return 0
    sleep 0.5
  done
}

status=0
step() { # message screenshot-file
  if shoot "$2"; then echo "$1: $2"; else echo "$1 did not appear within a minute" >&2; status=1; fi
}

# The pet list; ミミ was called last. A double click on ソラ puts ミミ's data
# away, brings ソラ's in and starts the stand-in host on it.
wine 'C:\ルピナ\lupina.exe' &
step "the pet list" "$OUT/lupina.png"
if [ $status -eq 0 ]; then
  double_click_row 1
  await_window 'ホスト代役'
  step "the host with ソラ (a double click on ソラ)" "$OUT/host-sora.png"
  close_host
fi

# Calling ミミ again: the launcher puts ソラ's data away and brings ミミ's back,
# her own mail with it. This time through a per-pet shortcut's way in.
if [ $status -eq 0 ]; then
  wine 'C:\ルピナ\lupina.exe' ミミ || true
  await_window 'ホスト代役'
  step "the host with ミミ (lupina.exe ミミ)" "$OUT/host-mimi.png"
  close_host
fi

# The snack manager on the same installation: expired snacks are red.
if [ $status -eq 0 ]; then
  wine 'C:\ルピナ\lupsnack.exe' &
  SNACK_PID=$!
  await_window 'ルピナ・ヴィラ用おやつ管理ツール'
  step "the snack manager" "$OUT/lupsnack.png"
  kill "$SNACK_PID" 2>/dev/null || true
  wait "$SNACK_PID" 2>/dev/null || true
fi

# The utility beside the launcher. Every task starts it afresh and clicks a
# menu button (buttons 375 twips high, 25 pixels, at the tops below); the
# closing message is photographed and the utility ended with it on screen.
UTILITY=ルピナ・ヴィラ用ユーティリティ
UTILITY_PID=
start_utility() {
  wine 'C:\ルピナ\lupset.exe' &
  UTILITY_PID=$!
  wid=$(xdotool search --sync --onlyvisible --name "^$UTILITY\$" | head -n1)
}
end_utility() {
  kill "$UTILITY_PID" 2>/dev/null || true
  wait "$UTILITY_PID" 2>/dev/null || true
}
menu_button() { # top in twips
  xdotool mousemove --window "$wid" 120 $(($1 / 15 + 12)) click 1
}
# Clicks in the window whose caption is $1, at x y of its client area.
click_in() { # caption x y
  local w
  w=$(xdotool search --sync --onlyvisible --name "^$1\$" | head -n1)
  xdotool mousemove --window "$w" "$2" "$3" click 1
}
# The run button of the backup, repair and deletion dialogs (Command1 at
# 120 twips from the left, its top in twips).
run_button() { # caption top
  click_in "$1" 60 $(($2 / 15 + 12))
}
# Runs the dialog whose caption is $1 (its run button's top in twips) and
# waits for the closing message, a box with the utility's title.
run_and_await_message() { # caption top
  local before
  before=$(windows_named "$UTILITY")
  run_button "$1" "$2"
  await_more_windows "$UTILITY" "$before"
}
same() { cmp -s "$1" "$2"; }

# The menu, then the pet selection dialog of "ペット別のショートカット作成" (2520).
if [ $status -eq 0 ]; then
  start_utility
  step "the utility's menu" "$OUT/lupset.png"
  menu_button 2520
  await_window 'スイッチに指定するペットの選択'
  step "the pet selection dialog (ペット別のショートカット作成)" "$OUT/lupset-selection.png"
  end_utility
fi

# "データのバックアップ" (1560): every pet, the host and the shared copies into D\bak.
if [ $status -eq 0 ]; then
  start_utility
  menu_button 1560
  await_window 'データをバックアップします'
  step "the backup dialog" "$OUT/lupset-backup.png"
  run_and_await_message 'データをバックアップします' 2490
  step "the backup done" "$OUT/lupset-backup-done.png"
  end_utility
  if same "$D/ソラ_おやつ/snack01.pac" "$D/bak/ソラ_おやつ/snack01.pac" &&
     same "$D/ミミ_おともだち帳" "$D/bak/ミミ_おともだち帳.bak" &&
     same "$D/共有/おともだち帳" "$D/bak/共有/おともだち帳.bak"; then
    echo "backup: $(find "$D/bak" -type f | wc -l) files in D\bak"
  else
    echo "the backup did not copy the pets' data" >&2; status=1
  fi
fi

# A damaged snack file of ソラ, and its repair through "壊れてしまったデータの修復"
# (2040): ソラ is the first pet of the list; she shares her friend book and
# mail, shown bold.
if [ $status -eq 0 ]; then
  printf 'ミミのデータで上書きされてしまった' >"$D/ソラ_おやつ/snack01.pac"
  start_utility
  menu_button 2040
  click_in '修復するペットの選択' 40 8
  await_window 'ソラのデータを修復します'
  step "the repair dialog" "$OUT/lupset-repair.png"
  run_and_await_message 'ソラのデータを修復します' 3180
  step "the repair done" "$OUT/lupset-repair-done.png"
  end_utility
  if same "$D/ソラ_おやつ/snack01.pac" "$D/bak/ソラ_おやつ/snack01.pac"; then
    echo "repair: ソラ_おやつ\\snack01.pac is back from the backup"
  else
    echo "the repair did not bring ソラ's snack back" >&2; status=1
  fi
fi

# "ペットの削除" (1080): ソラ goes, with her own snacks and treasures and their
# backups; what she shares stays.
if [ $status -eq 0 ]; then
  start_utility
  menu_button 1080
  click_in '削除するペットの選択' 40 8
  await_window 'ソラを削除します'
  step "the deletion dialog" "$OUT/lupset-delete.png"
  run_and_await_message 'ソラを削除します' 1890
  step "the deletion done" "$OUT/lupset-delete-done.png"
  end_utility
  if [ ! -e "$D/ソラ_PostPet設定.ppc" ] && [ ! -e "$D/ソラ_おやつ" ] && [ ! -e "$D/bak/ソラ_おやつ" ] &&
     [ -e "$D/共有/おともだち帳" ] && [ -e "$D/ミミ_PostPet設定.ppc" ]; then
    echo "deletion: ソラ is gone, the shared copies and the other pets stay"
  else
    echo "the deletion did not go as shown" >&2; status=1
  fi
fi

# A per-pet shortcut written by the utility's writer starts lupina.exe with
# the pet's name: the end-to-end test writes one, reads it back through the
# shell and starts what it names.
if [ $status -eq 0 ]; then
  echo "== a per-pet shortcut"
  if wine "$BUILD/tests/e2e/e2e_call_pet_test.exe" --gtest_filter='*PerPetShortcut*' \
       >"$OUT/shortcut.log" 2>&1 </dev/null; then
    grep '^shortcut ' "$OUT/shortcut.log" || true
  else
    cat "$OUT/shortcut.log" >&2
    echo "the shortcut did not start lupina.exe with its pet" >&2
    status=1
  fi
fi
lup_wine_down
exit $status
