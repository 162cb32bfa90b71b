#!/usr/bin/env bash
# make dist: dist/lupina-villa-<version>-win64.zip with the three programs,
# the user's guide (HTML, pictures inside) and the licence, and its SHA-256
# beside it. The programs are built twice, in two folders of different
# names, and must come out byte for byte the same; so must the zip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
version=$(sed -n 's/^project(lupina VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
programs=(launcher/lupina.exe utility/lupset.exe snacks/lupsnack.exe)

build() {
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUP_RELEASE=ON \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" >"$1.configure.log" 2>&1 ||
    { cat "$1.configure.log"; exit 1; }
  cmake --build "$1" --target lupina lupset lupsnack hostsim
}
mkdir -p build
build build/dist-one
build build/dist-second-tree

for p in "${programs[@]}"; do
  if ! cmp -s "build/dist-one/$p" "build/dist-second-tree/$p"; then
    echo "make dist: $p differs between two builds of the same sources" >&2
    exit 1
  fi
done
bash scripts/check-imports.sh "${programs[@]/#/build/dist-one/}"

stage=build/dist-stage
rm -rf "$stage"
mkdir -p "$stage" dist
for p in "${programs[@]}"; do cp "build/dist-one/$p" "$stage/"; done
cp LICENSE "$stage/LICENSE.txt"
/usr/bin/python3 scripts/guide_html.py docs/guide-ja.md "$stage/lupina-villa-guide-ja.html"

zip="dist/lupina-villa-$version-win64.zip"
/usr/bin/python3 scripts/make_zip.py "$stage" "$zip"
/usr/bin/python3 scripts/make_zip.py "$stage" "$zip.again"
cmp "$zip" "$zip.again" || { echo "make dist: the zip is not the same twice" >&2; exit 1; }
rm -f "$zip.again"
(cd dist && sha256sum "$(basename "$zip")" >"$(basename "$zip").sha256")

# The zip as a user meets it: unpacked into a fresh Wine prefix beside a host
# folder, each program finds the host and shows its window.
echo "== starting the unpacked programs in a fresh Wine prefix"
check=build/dist-check
rm -rf "$check"
mkdir -p "$check"
export WINEPREFIX="$PWD/$check/wineprefix"
(
  unset DISPLAY
  source scripts/wine-env.sh
  lup_wine_up
  trap lup_wine_down EXIT
  host="$WINEPREFIX/drive_c/Program Files/So-net/PostPet for Windows ver. 2.0"
  mkdir -p "$host" "$WINEPREFIX/drive_c/ルピナ"
  cp build/dist-one/tools/hostsim/hostsim.exe "$host/PostPet20.exe"
  printf 'name=ミミ\r\nkind=クマ\r\n' >"$host/ミミ_PostPet設定.ppc"
  /usr/bin/python3 -c "import zipfile,sys; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])" \
    "$zip" "$WINEPREFIX/drive_c/ルピナ"
  for program in lupina:ルピナ・ヴィラ lupset:ルピナ・ヴィラ用ユーティリティ lupsnack:ルピナ・ヴィラ用おやつ管理ツール; do
    exe=${program%%:*} title=${program#*:}
    (cd "$WINEPREFIX/drive_c/ルピナ" && wine "C:\\ルピナ\\$exe.exe" >/dev/null 2>&1 &)
    if ! timeout 60 xdotool search --sync --onlyvisible --name "^$title\$" >/dev/null; then
      echo "make dist: $exe.exe from the zip showed no window \"$title\"" >&2
      exit 1
    fi
    echo "$exe.exe from the zip shows its window"
    wineserver -k
    lup_wine_up
  done
)

echo "== $zip"
for p in "${programs[@]}"; do
  printf '%-14s %8d bytes\n' "$(basename "$p")" "$(stat -c %s "build/dist-one/$p")"
done
cat "$zip.sha256"
