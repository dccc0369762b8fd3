#!/usr/bin/env bash
# Builds the two Debian packages from a built tree and checks them as an installer would: their
# contents and dependencies, desktop-file-validate, appstreamcli and lintian, then, unpacked into a throw-away
# root, the game started from its desktop entry on a private X server (window, icon, help page)
# and the score server on loopback, answering and keeping its results across a restart.
# Usage: test-install.sh BUILD_DIR
set -euo pipefail

build=$(realpath "${1:?usage: test-install.sh BUILD_DIR}")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog lintian desktop-file-validate \
  appstreamcli file Xvfb xdotool xwininfo xprop xdpyinfo import convert curl hardening-check \
  readelf systemd-analyze; do
  command -v "$tool" >/dev/null ||
    { echo "FAIL: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrow-packaging.XXXXXX")
root=$work/root
children=()
failed=0

log() { echo "[packaging $(date +%T)] $*"; }
fail() {
  failed=1
  echo "FAIL: $*" >&2
  exit 1
}

cleanup() {
  local status=$? pid
  set +e
  for pid in "${children[@]}"; do
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  if [[ $status -eq 0 && $failed -eq 0 ]]; then
    rm -rf "$work"
  else
    echo "  files kept in $work" >&2
  fi
  exit "$status"
}
trap cleanup EXIT

# poll SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds; 1 when it never did.
poll() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# --- The packages ---------------------------------------------------------------------------

log "cpack"
cpack -G DEB -B "$work/packages" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack did not build the packages"; }
game_deb=$(echo "$work"/packages/kestrow_*.deb)
server_deb=$(echo "$work"/packages/kestrow-scores_*.deb)
[[ -f $game_deb && -f $server_deb ]] || fail "cpack made $(ls "$work/packages")"
log "$(basename "$game_deb") $(stat -c %s "$game_deb") bytes," \
  "$(basename "$server_deb") $(stat -c %s "$server_deb") bytes"

# check_contents DEB EXPECTED...: the package holds exactly the EXPECTED files and links (as
# dpkg-deb -c prints them), all owned by root, programs 0755 and other files 0644.
check_contents() {
  local deb=$1 listing
  shift
  listing=$(dpkg-deb -c "$deb")
  diff <(printf '%s\n' "$@" | sort) \
    <(awk '$1 !~ /^d/ { print substr($0, index($0, "./")) }' <<<"$listing" | sort) ||
    fail "$(basename "$deb") does not hold the expected files (< expected, > found)"
  awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' <<<"$listing" ||
    fail "$(basename "$deb") has files not owned by root"
  awk '$1 ~ /^-/ && $1 != "-rw-r--r--" && $1 != "-rwxr-xr-x" { print; bad = 1 }
       $1 ~ /^d/ && $1 != "drwxr-xr-x" { print; bad = 1 } END { exit bad }' <<<"$listing" ||
    fail "$(basename "$deb") has files with unusual permissions"
}

log "contents"
icons=()
for size in 16 32 48 128 256; do
  icons+=("./usr/share/icons/hicolor/${size}x$size/apps/kestrow.png")
done
check_contents "$game_deb" \
  "./usr/games/kestrow -> ../lib/kestrow/kestrow" \
  ./usr/lib/kestrow/kestrow ./usr/lib/kestrow/kestrow-http ./usr/lib/kestrow/Aide_Kestrow.html \
  ./usr/share/applications/kestrow.desktop ./usr/share/metainfo/org.example.kestrow.metainfo.xml \
  "${icons[@]}" \
  ./usr/share/man/man6/kestrow.6.gz ./usr/share/man/fr/man6/kestrow.6.gz \
  ./usr/share/doc/kestrow/README.md ./usr/share/doc/kestrow/copyright \
  ./usr/share/doc/kestrow/changelog.Debian.gz
check_contents "$server_deb" \
  ./usr/sbin/kestrow-scores ./lib/systemd/system/kestrow-scores.service \
  ./usr/share/man/man8/kestrow-scores.8.gz ./usr/share/man/fr/man8/kestrow-scores.8.gz \
  ./usr/share/doc/kestrow-scores/README.md ./usr/share/doc/kestrow-scores/copyright \
  ./usr/share/doc/kestrow-scores/changelog.Debian.gz
# The game and the helper that makes its exchanges with the score server, which it runs from
# beside itself.
for program in kestrow kestrow-http; do
  mode=$(dpkg-deb -c "$game_deb" | awk -v path="./usr/lib/kestrow/$program" '$6 == path { print $1 }')
  [[ $mode == -rwxr-xr-x ]] || fail "$program is not executable: $mode"
done
for script in postinst prerm postrm; do
  dpkg-deb -I "$server_deb" "$script" >/dev/null 2>&1 || fail "kestrow-scores has no $script"
done

# has_dependency DEB PATTERN: the package's Depends field names a package matching PATTERN.
has_dependency() {
  dpkg-deb -f "$1" Depends | sed 's/ *[,|] */\n/g' | grep -Eq "^($2)( |$)" ||
    fail "$(basename "$1") does not depend on $2: $(dpkg-deb -f "$1" Depends)"
}
log "dependencies"
game_depends=$(dpkg-deb -f "$game_deb" Depends)
server_depends=$(dpkg-deb -f "$server_deb" Depends)
echo "    kestrow: $game_depends"
echo "    kestrow-scores: $server_depends"
# Linked libraries come from dpkg-shlibdeps (libcurl4 from the HTTP helper), the ones opened at
# run time from the build.
for dependency in 'libc6' 'libgtk-3-0' 'libcairo2' 'libfluidsynth3' 'libsdl2-2\.0-0' \
  'libavformat[0-9]+' 'libavcodec[0-9]+' 'libavutil[0-9]+' 'libswscale[0-9]+' 'libcurl4' 'libvorbisfile3' 'libwebkit2gtk-4\.1-0' \
  'timgm6mb-soundfont' 'sf2-soundfont-gm' 'fonts-liberation2'; do
  has_dependency "$game_deb" "$dependency"
done
for dependency in 'libc6' 'libsqlite3-0' 'libstdc\+\+6' 'adduser'; do
  has_dependency "$server_deb" "$dependency"
done

log "unpacking into $root"
mkdir -p "$root"
dpkg-deb -x "$game_deb" "$root"
dpkg-deb -x "$server_deb" "$root"

log "desktop-file-validate"
desktop=$root/usr/share/applications/kestrow.desktop
desktop-file-validate "$desktop" || fail "the desktop entry is not valid"
# desktop_key KEY: the value of KEY in the desktop entry.
desktop_key() { sed -n "s/^$1=//p" "$desktop"; }
[[ $(desktop_key Name) == Kestrow && $(desktop_key Icon) == kestrow &&
  $(desktop_key Categories) == "Game;BlocksGame;" ]] ||
  fail "the desktop entry's name, icon or categories are wrong"
# Started from the menu, the game keeps its files in the launcher's directory: the home.
[[ -z $(desktop_key Path) ]] || fail "the desktop entry sets a working directory"
for size in 16 32 48 128 256; do
  file "$root/usr/share/icons/hicolor/${size}x$size/apps/kestrow.png" |
    grep -q "PNG image data, $size x $size" || fail "the ${size}x$size icon is not $size pixels"
done

log "appstreamcli validate"
metainfo=$root/usr/share/metainfo/org.example.kestrow.metainfo.xml
appstreamcli validate --no-net --strict "$metainfo" >"$work/appstream.txt" 2>&1 ||
  { cat "$work/appstream.txt" >&2; fail "the metainfo file has errors or warnings"; }
# Software centres pair the listing with its launcher, which must be the packaged desktop entry.
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
  fail "the metainfo file does not launch $(basename "$desktop")"
# Every changelog entry is a release of the listing, with the same upstream version and day.
while read -r version timestamp; do
  day=$(date -u -d "@$timestamp" +%F)
  grep -q "<release version=\"${version%-*}\" date=\"$day\">" "$metainfo" ||
    fail "the metainfo file has no release ${version%-*} of $day from the changelog"
done < <(dpkg-parsechangelog -l "$source_dir/packaging/changelog" --format rfc822 --all |
  awk '/^Version:/ { version = $2 } /^Timestamp:/ { print version, $2 }')
# The screenshots are the repository's own.
for image in $(sed -n 's|.*<image>.*/docs/screenshots/\([^<]*\)</image>.*|\1|p' "$metainfo"); do
  [[ -f $source_dir/docs/screenshots/$image ]] || fail "the metainfo shows a missing $image"
done
(($(grep -c '<image>' "$metainfo") == $(grep -c '<image>.*/docs/screenshots/' "$metainfo"))) ||
  fail "the metainfo shows screenshots from outside docs/screenshots"

log "lintian"
# These packages are not uploaded to Debian: there is no bug for the first upload to close.
lint_status=0
lintian --fail-on error,warning --suppress-tags initial-upload-closes-no-bugs \
  "$game_deb" "$server_deb" >"$work/lintian.txt" 2>&1 || lint_status=$?
grep -v 'running with root privileges' "$work/lintian.txt" || true
((lint_status == 0)) || fail "lintian found errors or warnings"

log "hardening-check"
# check_hardening BUILT PACKAGED: the packaged program has a position-independent executable, the
# stack protector, fortified functions, full RELRO with immediate binding and stack clash
# protection, and, on x86-64, control-flow protection. PACKAGED is stripped, so BUILT (the same
# program before stripping) answers what only the compiler's records tell: fortified functions
# show in the machine code only where a size is checked at run time, stack clash probes only in
# large frames, and the control-flow marking only when the C library's start files have it too.
check_hardening() {
  local built=$1 packaged=$2 name report row option options
  name=$(basename "$packaged")
  report=$(hardening-check --verbose --nocfprotection "$packaged" || true)
  echo "$report"
  for row in 'Position Independent Executable' 'Stack protected' 'Read-only relocations' \
    'Immediate binding'; do
    grep -q "^ $row: yes" <<<"$report" || fail "$name: $row is missing"
  done
  readelf --debug-dump=info,rawline "$built" >"$work/debug.txt" 2>/dev/null
  if ! grep -q '^ Fortify Source functions: yes' <<<"$report"; then
    grep -q -E '(string_fortified|stdio2|wchar2|socket2|fcntl2|poll2)\.h' "$work/debug.txt" ||
      fail "$name was not built with _FORTIFY_SOURCE"
  fi
  grep 'DW_AT_producer.*GNU C' "$work/debug.txt" >"$work/producers.txt" ||
    fail "$built has no debug information to tell how it was compiled"
  options=(-fstack-clash-protection)
  [[ $(uname -m) != x86_64 ]] || options+=(-fcf-protection)
  for option in "${options[@]}"; do
    ! grep -v -e " $option" "$work/producers.txt" ||
      fail "$name has code compiled without $option"
  done
}
check_hardening "$build/kestrow" "$root/usr/lib/kestrow/kestrow"
check_hardening "$build/kestrow-http" "$root/usr/lib/kestrow/kestrow-http"
check_hardening "$build/server/kestrow-scores" "$root/usr/sbin/kestrow-scores"

log "systemd-analyze security"
# Both units, the package's and the one for manual installs, rate an exposure of 2.0 or lower.
for unit_file in "$root/lib/systemd/system/kestrow-scores.service" \
  "$source_dir/server/kestrow-scores.service"; do
  exposure_status=0
  systemd-analyze security --offline=yes --threshold=20 "$unit_file" >"$work/security.txt" 2>&1 ||
    exposure_status=$?
  echo "    ${unit_file#"$work/"}: $(grep -o 'exposure level .*' "$work/security.txt")"
  ((exposure_status == 0)) || { cat "$work/security.txt" >&2; fail "$unit_file is exposed above 2.0"; }
done

# --- The game, started as the desktop starts it ---------------------------------------------

log "the game from its desktop entry on a private X server"
: >"$work/displayfd"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$work/displayfd" \
  >"$work/xvfb.log" 2>&1 &
children+=("$!")
poll 10 test -s "$work/displayfd" || fail "Xvfb gave no display number"
DISPLAY=":$(tr -dc 0-9 <"$work/displayfd")"
export DISPLAY
poll 10 xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"

# The Exec line without its field codes, run from the home directory with the packaged
# /usr/games in front of the path.
read -r -a launch <<<"$(desktop_key Exec | sed 's/ %[fFuUdDnNickvm]//g')"
home=$work/home
mkdir -p "$home"
program=$(PATH=$root/usr/games:$PATH command -v "${launch[0]}") ||
  fail "the desktop entry's command ${launch[0]} is not in the package's /usr/games"
[[ $program == "$root/usr/games/kestrow" ]] || fail "the desktop entry runs $program"
(cd "$home" && HOME=$home PATH=$root/usr/games:$PATH \
  XDG_DATA_DIRS=$root/usr/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share} exec "${launch[@]}") \
  >"$work/kestrow.log" 2>&1 &
game=$!
children+=("$game")

main_window() {
  local w
  kill -0 "$game" 2>/dev/null || { tail "$work/kestrow.log" >&2; fail "the game exited"; }
  for w in $(xdotool search --onlyvisible --name '^Kestrow$' 2>/dev/null); do
    xwininfo -id "$w" | grep -q 'Width: 600' && { window=$w; return 0; }
  done
  return 1
}
poll 15 main_window || fail "the game's window did not show"
read -r wx wy < <(xwininfo -id "$window" |
  awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4} END {print x, y}')
# Desktops find the window's launcher, and so its icon, through its class: the desktop entry's
# name and StartupWMClass.
class=$(xprop -id "$window" WM_CLASS)
[[ $class == "WM_CLASS(STRING) = \"kestrow\", \"$(desktop_key StartupWMClass)\"" ]] ||
  fail "the window's class, $class, does not match the desktop entry"
# The window carries the icon the package puts in the hicolor theme.
icon=$(xprop -id "$window" _NET_WM_ICON)
grep -q 'Icon (' <<<"$icon" ||
  fail "the window has no icon (_NET_WM_ICON) from the installed theme"

# The help page lies beside the program once its link is resolved.
exe=$(readlink "/proc/$game/exe")
[[ $exe == "$root/usr/lib/kestrow/kestrow" ]] || fail "the running program is $exe"
[[ -f $(dirname "$exe")/Aide_Kestrow.html ]] || fail "no help page beside $exe"
# The "Aide" button opens the help window, which shows the page's orange title band.
xdotool mousemove $((wx + 453)) $((wy + 518)) click 1
help_window() {
  help=$(xdotool search --onlyvisible --name '^Aide Kestrow$' 2>/dev/null | head -n 1)
  [[ -n $help ]]
}
poll 10 help_window || fail "the help window did not open"
help_title_shown() {
  local geometry
  geometry=$(xwininfo -id "$help" |
    awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4} /Width:/ {w = $2}
         END {print w "x50+" x "+" y}')
  import -window root "$work/help.png" 2>/dev/null || return 1
  (($(convert "$work/help.png" -crop "$geometry" +repage -depth 8 txt:- | awk -F'[ ,:()]+' '
    NR > 1 && $3 > 200 && $4 > 100 && $4 < 180 && $5 < 80 { n++ } END { print n + 0 }') > 10000))
}
poll 30 help_title_shown || fail "the help window does not show the help page (see $work/help.png)"
# The start-up fetch is made by the helper: the HTTP library never enters the game.
! grep -q libcurl "/proc/$game/maps" || fail "the game loaded libcurl"
kill -KILL "$game"
wait "$game" 2>/dev/null || true

# --- The score server -----------------------------------------------------------------------

log "the score server on loopback, across a restart"
unit=$root/lib/systemd/system/kestrow-scores.service
server=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
[[ -x $root$server ]] || fail "the unit starts $server, which the package does not hold"
if ! grep -q '^User=kestrow-scores$' "$unit" ||
  ! grep -q '^StateDirectory=kestrow-scores$' "$unit"; then
  fail "the unit does not run as kestrow-scores with its state directory"
fi

constant() {
  sed -n "s/^inline constexpr uint32_t $1 = \(0x[0-9A-Fa-f]*\);.*/\1/p" \
    "$source_dir/src/scores/score_server_protocol.h"
}
k1=$(($(constant K1))) k2=$(($(constant K2))) k3=$(($(constant K3)))
# A submission token for 1 min 23.45 s from the address 02:00:5E:10:20:01, under mask 5A.
token() {
  local minutes=1 seconds=23 hundredths=45 mask=$((0x5A)) byte text=""
  for byte in 0x02 0x00 $(((minutes + k1) & 255)) $((seconds + k2)) \
    $((minutes % 64 + seconds % 64 + hundredths % 64)) $((hundredths + k3)) 0x5E 0x10; do
    text+=$(printf %02X $((byte ^ mask)))
  done
  text+=$(printf %02X $mask)
  for byte in 0x20 0x01; do text+=$(printf %02X $((byte ^ mask))); done
  echo "$text"
}
start_server() {
  : >"$work/server.out"
  "$root$server" --listen 127.0.0.1 --port 0 --db "$work/scores.db" --rate 1000 \
    >"$work/server.out" 2>&1 &
  server_pid=$!
  children+=("$server_pid")
  poll 10 grep -q '^listening on' "$work/server.out" || fail "the server did not start"
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.out")
}
ask() {
  curl -sS --max-time 5 -A "Kestrow 1.3" -d "$1" \
    "http://127.0.0.1:$port/public/index.php?a=KestrowRes"
}
start_server
[[ -z $(ask action=get) ]] || fail "a new database is not empty"
[[ $(ask "action=set&nom=Paquet&tmp=$(token)") == 1 ]] || fail "the result was not stored first"
expected="Paquet|$((1 << 16 | 23 << 8 | 45))"
[[ $(ask action=get) == "$expected" ]] || fail "action=get answers $(ask action=get)"
kill -TERM "$server_pid"
wait "$server_pid" || fail "the server did not stop cleanly"
start_server
[[ $(ask action=get) == "$expected" ]] ||
  fail "after a restart, action=get answers $(ask action=get)"

log "passed"
