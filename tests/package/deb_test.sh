#!/usr/bin/env bash
# The Debian package as a user meets it: dpkg -i installs it, the tarvo_6
# command starts the window (on a private X server) in the user's own working
# folder, where port.out gets its entry line and the logo and catalog are
# reached, Escape ends it, and dpkg -r leaves none of its files behind.
# The training entry starts dispenser-sim and the tool connected to it in a
# folder of its own, where Read reaches the simulator and the real folder's
# port.out gets nothing. Installing needs root: elsewhere the test says so
# and is skipped.
# Usage: deb_test.sh tarvo_6_VERSION_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
package=$(dpkg-deb -f "$deb" Package)
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing $deb needs root (dpkg -i); run as root to test it"
  exit 0
fi

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"

work=$(mktemp -d)
tool=""
cleanup() {
  stop_pids "$tool"
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT

dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i did not install $deb"; }
installed=$(dpkg-query -L "$package")
for path in /usr/bin/tarvo_6 /usr/lib/tarvo_6/tarvo_6 /usr/lib/tarvo_6/qv.bmp \
            /usr/lib/tarvo_6/ru/tarvo_6.mo /usr/share/applications/tarvo_6.desktop \
            /usr/bin/dispenser-sim /usr/lib/tarvo_6/tarvo_6-training \
            /usr/share/applications/tarvo_6-training.desktop \
            /usr/share/man/man1/tarvo_6.1.gz /usr/share/man/man1/dispenser-sim.1.gz \
            /usr/share/doc/tarvo-6/copyright /usr/share/doc/tarvo-6/changelog.gz; do
  grep -qx "$path" <<<"$installed" || fail "$path is not in the package"
  [ -e "$path" ] || fail "$path was not installed"
done
grep -qx 'Exec=/usr/bin/tarvo_6' /usr/share/applications/tarvo_6.desktop ||
  fail "the desktop entry does not start the tarvo_6 command"
grep -qx 'Exec=/usr/lib/tarvo_6/tarvo_6-training' /usr/share/applications/tarvo_6-training.desktop ||
  fail "the training entry does not start the training launcher"

start_xvfb "$work" 1024x768x24 || fail "Xvfb did not start"

# A user with nothing of the tool yet.
export HOME=$work/home XDG_DATA_HOME=
mkdir -p "$HOME"
(cd / && exec tarvo_6 </dev/null >"$work/tool.log" 2>&1) &
tool=$!
window=""
wait_for 'window=$(xdotool search --onlyvisible --name "^tarvo_6\$" 2>/dev/null | head -n1); [ -n "$window" ]' 20 ||
  { cat "$work/tool.log"; fail "the window did not appear"; }
folder=$HOME/.local/share/tarvo_6
wait_for '[ -s "$folder/port.out" ]' 10 || fail "no port.out in $folder"
cmp -s "$folder/qv.bmp" /usr/lib/tarvo_6/qv.bmp || fail "the working folder does not reach the logo"
cmp -s "$folder/ru/tarvo_6.mo" /usr/lib/tarvo_6/ru/tarvo_6.mo || fail "the working folder does not reach the catalog"
escape_ends "$window" "$tool" 10 || fail "Escape did not end the program"
tool=""
[ "$ENDED_WITH" = 0 ] || fail "tarvo_6 ended with status $ENDED_WITH"

real_lines=$(wc -l <"$folder/port.out")
(cd / && exec /usr/lib/tarvo_6/tarvo_6-training </dev/null >"$work/training.log" 2>&1) &
tool=$!
wait_for 'window=$(xdotool search --onlyvisible --name "^tarvo_6\$" 2>/dev/null | head -n1); [ -n "$window" ]' 20 ||
  { cat "$work/training.log"; fail "the training window did not appear"; }
training=$HOME/.local/share/tarvo_6-training
wait_for '[ -s "$training/port.out" ]' 10 || fail "no port.out in $training"
# Open Port on the pre-selected simulator, then Read.
xdotool mousemove --window "$window" 56 52 click 1
sleep 1
xdotool mousemove --window "$window" 160 100 click 1
wait_for 'grep -q "(password state)" "$training/dispenser-sim.trace"' 20 ||
  fail "Read in training did not reach the simulator"
escape_ends "$window" "$tool" 10 || fail "Escape did not end training"
tool=""
[ -s "$training/controller.img" ] || fail "the simulated controller's memory is not kept in $training"
[ "$(wc -l <"$folder/port.out")" = "$real_lines" ] || fail "training wrote to the real port.out"

dpkg -r "$package" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r failed"; }
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' &&
  fail "$package is still installed"
while read -r path; do
  [ -f "$path" ] || [ -L "$path" ] && fail "$path is left after dpkg -r"
done <<<"$installed"
[ -e /usr/lib/tarvo_6 ] && fail "/usr/lib/tarvo_6 is left after dpkg -r"
echo "$deb: installed, started in $folder, removed"
