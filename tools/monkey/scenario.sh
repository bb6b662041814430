#!/usr/bin/env bash
# A user's session driven through the screen with xdotool (hand-run): draw three nodes in the
# untitled start window, save it, open the first example, play it, close it, quit. Then the
# saved file must be exactly as it was saved. Needs Xvfb, openbox and xdotool.
#
#   tools/monkey/scenario.sh [-b path/to/kelvo] [-d display]
set -uo pipefail

program=build/test/bin/kelvo
display=:91
while getopts "b:d:" option; do
    case $option in
    b) program=$OPTARG ;;
    d) display=$OPTARG ;;
    *) exit 2 ;;
    esac
done

work=$(mktemp -d /tmp/kelvo-scenario.XXXXXX)
mkdir -p "$work/bin" "$work/home"
mkdir -m 700 "$work/runtime"
cp "$program" "$work/bin/kelvo"
cp -r "$(dirname "$program")/../share" "$work/"
export DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/home/.config \
    XDG_RUNTIME_DIR=$work/runtime ASAN_OPTIONS=detect_leaks=0
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm $xvfb 2>/dev/null' EXIT

shot() { import -window root "$work/$1.png"; }
fail() { echo "scenario: FAILED: $*"; shot failed; exit 1; }

(cd "$work/home" && exec "$work/bin/kelvo" >"$work/kelvo.out" 2>&1) &
app=$!
for _ in $(seq 60); do
    window=$(xdotool search --name '^Untitled' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 1
done
[ -n "$window" ] || fail "no start window"
sleep 2
xdotool windowactivate --sync "$window"

# Draw: the Node & Edge tool, three clicks on the canvas.
xdotool key ctrl+3
for point in "200 300" "400 300" "400 500"; do
    xdotool mousemove $point click 1
    sleep 0.5
done
shot drawn

# Save under a name of its own.
saved=$work/home/mine.kvd
xdotool key ctrl+s
sleep 2
xdotool key ctrl+a type --delay 20 "$saved"
xdotool key Return
for _ in $(seq 20); do [ -f "$saved" ] && break; sleep 0.5; done
[ -f "$saved" ] || fail "nothing saved"
sleep 1
sum=$(md5sum <"$saved")
nodes=$(grep -c '<key>Notes</key>' "$saved" || true)
echo "scenario: saved $saved ($nodes nodes)"
shot saved

# Open the first example: File, Open Example, its first entry.
xdotool key alt+f
sleep 0.5
xdotool key e
sleep 0.5
xdotool key Return
sleep 3
shot example
example=$(xdotool getactivewindow getwindowname)
echo "scenario: active window after Open Example: \"$example\""
[[ "$example" == mine* ]] && fail "the example loaded into the saved window"

# Play it for a few seconds, stop, close it.
xdotool key space
sleep 4
shot playing
xdotool key space
sleep 0.5
xdotool key ctrl+w
sleep 1
# A close prompt (the example was changed by playing) is answered with Discard.
if xdotool search --onlyvisible --name '^Kelvo$' >/dev/null 2>&1; then
    shot prompt
    xdotool key alt+d
    sleep 1
fi
shot closed

# Quit.
xdotool key ctrl+q
sleep 2
if xdotool search --onlyvisible --name '^Kelvo$' >/dev/null 2>&1; then
    shot quit-prompt
    xdotool key alt+d
fi
for _ in $(seq 30); do kill -0 $app 2>/dev/null || break; sleep 1; done
kill -0 $app 2>/dev/null && fail "Kelvo did not quit"
wait $app
status=$?
[ $status -eq 0 ] || fail "Kelvo ended with status $status"
[ "$(md5sum <"$saved")" = "$sum" ] || fail "the saved file changed"
echo "scenario: passed; the saved file is as saved; screenshots in $work"
