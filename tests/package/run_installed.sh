#!/usr/bin/env bash
# Run inside the fresh root by scripts/package-check, in a network namespace of its own:
# the installed velmora-service as the stand-in on the built-in address 127.0.0.1:8808 with a
# small proxy file, Xvfb, and velmora-launcher starting the installed program; passes when the
# program's main window shows and the program took its test page from that service.
set -euo pipefail
run=/tmp/run
mkdir -p "$run/home"
export HOME=$run/home XDG_RUNTIME_DIR=$run/xdg-runtime
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
say() { echo "package-check:   $*"; }

printf '127.0.0.1\t1080\t1\t2\t100\t0\n127.0.0.1\t1081\t1\t2\t100\t0\n' >"$run/proxies.txt"
velmora-service --port 8808 --proxies "$run/proxies.txt" --country DE >"$run/service.log" 2>&1 &
pids+=($!)
for ((i = 0; i < 100; i++)); do
    (exec 3<>/dev/tcp/127.0.0.1/8808) 2>/dev/null && break
    sleep 0.1
done
(exec 3<>/dev/tcp/127.0.0.1/8808) 2>/dev/null || { say "velmora-service did not listen"; exit 1; }
say "ok - velmora-service answers on 127.0.0.1:8808"

Xvfb :7 -nolisten tcp -screen 0 1024x768x24 >"$run/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=:7
for ((i = 0; i < 100; i++)); do
    [[ -e /tmp/.X11-unix/X7 ]] && break
    sleep 0.1
done

# As a user would start it from the menu: the launcher, which finds the service answering.
setsid velmora-launcher >"$run/program.log" 2>&1 &
pids+=($!)
launcher=$!
# The splash screen and message boxes are titled "Velmora" as well: the main window is the one
# at least 500 pixels high.
main_window() {
    local id height
    for id in $(xdotool search --onlyvisible --name '^Velmora$' 2>/dev/null); do
        height=$(xdotool getwindowgeometry "$id" 2>/dev/null | awk '/Geometry:/ { split($2, size, "x"); print size[2] }')
        if ((${height:-0} >= 500)); then
            echo "$id"
            return 0
        fi
    done
    return 1
}
window=""
for ((i = 0; i < 600; i++)); do
    window=$(main_window) && break
    sleep 0.1
done
if [[ -z $window ]]; then
    say "no Velmora main window within 60 s; program log:"
    sed 's/^/    /' "$run/program.log"
    exit 1
fi
say "ok - the installed program's main window \"Velmora\" is up (X window $window)"
grep -q 'POST /velmora/start.php -> 200' "$run/service.log" || { say "the service saw no start request"; exit 1; }
say "ok - the program sent its start request to the service"
kill -0 "$launcher" 2>/dev/null || { say "the program ended"; exit 1; }
work=$HOME/.local/share/velmora
grep -q $'^URL\thttp://127.0.0.1:8808' "$work/setting.nbx" ||
    { say "setting.nbx holds no test page from the loopback service"; exit 1; }
say "ok - the program took its test page from the loopback service (setting.nbx)"
[[ -L $work/countries.nbx && $(readlink "$work/countries.nbx") == /usr/share/velmora/countries.nbx ]] ||
    { say "the working folder does not link the installed countries.nbx"; exit 1; }
say "ok - the launcher linked the installed country list into $work"
grep -q 'POST /tolvane/testurl.txt -> 200' "$run/service.log" || { say "the service saw no test-target request"; exit 1; }
say "ok - the service answered the program's request (/tolvane/testurl.txt)"
# The program ends with SIGTERM; its setsid group (launcher exec'd into the program) goes with it.
kill -TERM -- "-$launcher" 2>/dev/null || true
