#!/usr/bin/env bash
# Random keys, clicks, drags and menu commands on the real program, for a hand-run check that
# nothing crashes or hangs (not run by the tests). Needs Xvfb, openbox and xdotool.
#
#   tools/monkey/monkey.sh [-b path/to/kelvo] [-m minutes] [-s seed] [-d display]
#
# The program runs from a copy of its build (bin and share beside each other) in a scratch
# folder that is also its home, so the files it saves and its preferences stay there. When it
# quits on its own (Ctrl+Q and Discard, say) it is started again. A crash (any other exit
# status) or a hang (the GUI thread took no processor time for 30 s while events kept coming,
# or all of it for 60 s) is reported with the last actions and the program's output; the run
# ends with status 1 when there was one.
set -uo pipefail

program=build/test/bin/kelvo
minutes=20
seed=$RANDOM
display=:91
while getopts "b:m:s:d:" option; do
    case $option in
    b) program=$OPTARG ;;
    m) minutes=$OPTARG ;;
    s) seed=$OPTARG ;;
    d) display=$OPTARG ;;
    *) exit 2 ;;
    esac
done

work=$(mktemp -d /tmp/kelvo-monkey.XXXXXX)
mkdir -p "$work/bin" "$work/home"
cp "$program" "$work/bin/kelvo"
[ -d "$(dirname "$program")/../share" ] && cp -r "$(dirname "$program")/../share" "$work/"
log=$work/monkey.log
echo "monkey: seed $seed, $minutes min, display $display, folder $work" | tee "$log"

export DISPLAY=$display
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
openbox >/dev/null 2>&1 &
wm=$!
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null
    kill "$wm" "$xvfb" 2>/dev/null
}
trap cleanup EXIT

# A runtime folder of its own: the program runs once per user and hands a later launch's files
# to the instance that runs, which must be this one.
mkdir -m 700 "$work/runtime"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
export ASAN_OPTIONS="detect_leaks=0:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
RANDOM=$seed

app=
starts=0
failures=0
start_app() {
    starts=$((starts + 1))
    (cd "$work/home" && exec "$work/bin/kelvo" >"$work/kelvo-$starts.out" 2>&1) &
    app=$!
    sleep 4
}

# The GUI thread's processor time in clock ticks.
gui_ticks() {
    awk '{ print $14 + $15 }' "/proc/$app/task/$app/stat" 2>/dev/null || echo 0
}

keys=(alt alt alt ctrl+c ctrl+x ctrl+v ctrl+a ctrl+z ctrl+shift+z ctrl+y Delete BackSpace
    Escape Escape Return space Tab shift+Tab ctrl+1 ctrl+2 ctrl+3 ctrl+4 ctrl+5 ctrl+0
    ctrl+plus ctrl+minus ctrl+r ctrl+t ctrl+apostrophe ctrl+shift+c ctrl+semicolon
    ctrl+alt+i ctrl+s ctrl+shift+s ctrl+o ctrl+n ctrl+w ctrl+q F10 Up Down Left Right
    a b c 1 2 3 plus minus colon comma period shift+a)
menus=(alt+f alt+e alt+v alt+c alt+t alt+h)

history=()
act() {
    history+=("$*")
    [ ${#history[@]} -gt 40 ] && history=("${history[@]:1}")
    xdotool "$@" 2>/dev/null
}

random_point() {
    x=$((RANDOM % 1280))
    y=$((RANDOM % 800))
}

step() {
    case $((RANDOM % 10)) in
    0 | 1 | 2 | 3) act key --clearmodifiers "${keys[RANDOM % ${#keys[@]}]}" ;;
    4 | 5)
        random_point
        local button=1 modifier=
        [ $((RANDOM % 5)) = 0 ] && button=3
        case $((RANDOM % 6)) in 0) modifier=alt ;; 1) modifier=shift ;; 2) modifier=ctrl ;; esac
        act mousemove $x $y
        [ -n "$modifier" ] && act keydown $modifier
        act click --repeat $((RANDOM % 2 + 1)) $button
        [ -n "$modifier" ] && act keyup $modifier
        ;;
    6 | 7)
        random_point
        act mousemove $x $y mousedown 1
        random_point
        act mousemove $((x / 2 + 320)) $((y / 2 + 200))
        act mousemove $x $y mouseup 1
        ;;
    8)
        act key --clearmodifiers "${menus[RANDOM % ${#menus[@]}]}"
        for ((i = RANDOM % 12; i > 0; i--)); do act key Down; done
        act key Return
        ;;
    9) act type --delay 5 "C3:96 {D4,E4}" ;;
    esac
}

report() {
    failures=$((failures + 1))
    {
        echo "== $1 (start $starts, after $actions actions)"
        printf '   %s\n' "${history[@]}"
        tail -n 60 "$work/kelvo-$starts.out"
    } | tee -a "$log"
}

start_app
end=$((SECONDS + minutes * 60))
actions=0
last_check=$SECONDS
last_ticks=$(gui_ticks)
idle_since=$SECONDS
while [ $SECONDS -lt $end ]; do
    if ! kill -0 "$app" 2>/dev/null; then
        wait "$app"
        status=$?
        if [ $status -ne 0 ]; then
            report "exit status $status"
        fi
        start_app
        last_ticks=$(gui_ticks)
        idle_since=$SECONDS
        busy_since=$SECONDS
        continue
    fi
    step
    actions=$((actions + 1))
    sleep 0.0$((RANDOM % 9 + 1))
    if [ $((SECONDS - last_check)) -ge 10 ]; then
        ticks=$(gui_ticks)
        hz=$(getconf CLK_TCK)
        used=$((ticks - last_ticks))
        [ $used -gt 0 ] && idle_since=$SECONDS
        [ $used -lt $(((SECONDS - last_check) * hz * 95 / 100)) ] && busy_since=$SECONDS
        if [ $((SECONDS - idle_since)) -ge 30 ] || [ $((SECONDS - ${busy_since:-$SECONDS})) -ge 60 ]; then
            report "hang"
            kill -ABRT "$app"
            sleep 2
        fi
        last_check=$SECONDS
        last_ticks=$ticks
    fi
done
echo "monkey: $actions actions, $starts starts, $failures failures" | tee -a "$log"
[ $failures -eq 0 ]
