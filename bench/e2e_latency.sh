#!/usr/bin/env bash
# The latency users feel: how much time Linkherd adds between `gio open URL` (or `xdg-open URL`) and the browser
# starting.
#
#   bench/e2e_latency.sh [-n ROUNDS] [-c COLD_RUNS] [-p offscreen|x11|both] [BUILD_DIR]
#                                                  (defaults: 50, 10, both, build)
#
# Everything runs on a throwaway desktop: a temporary HOME and XDG folders that show only a recording fake
# browser and Linkherd, and a private session bus from dbus-run-session. Nothing of the machine's own desktop
# is read or changed. The script builds nothing; it takes from BUILD_DIR src/app/linkherd-app,
# src/cli/linkherd, tests/support/linkherd_fake_browser (built with the tests) and, for X11,
# bench/bench_tray_host.
#
# Each platform gets a run of its own: offscreen (QT_QPA_PLATFORM=offscreen, no display at all), and X11: an Xvfb
# (started with -noreset, so that the X server's reset when its last client leaves is not counted) with a
# stand-in system tray on the private bus (bench/tray_host_stand_in.cpp, org.kde.StatusNotifierWatcher), so that
# Linkherd shows its tray icon as on a desktop with a panel.
#
# Every figure is the time from bash starting `gio open URL` (`xdg-open URL`, or the program itself) to the fake
# browser's own record of its start. Seven paths take turns, ROUNDS times each:
#   exec         Linkherd is the default through an entry that only has Exec: gio starts `linkherd-app URL`,
#                which hands the link to the resident instance over D-Bus and exits; the resident starts
#                the browser.
#   activatable  the same, through an entry with DBusActivatable=true, as installed from data/: gio calls the
#                resident's org.freedesktop.Application.Open itself, and no process is started for the link.
#   direct       the fake browser is the default: what `gio open` costs without Linkherd.
#   xdg          `xdg-open` on a desktop it does not know (no XDG_CURRENT_DESKTOP): it runs the entry's Exec,
#                `linkherd-app URL`, and waits for it, as terminals and scripts do.
#   xdg-direct   the same with the fake browser as the default: what `xdg-open` costs without Linkherd.
#   forward      bash runs `linkherd-app URL` itself, and
#   browser      bash runs the fake browser itself: the two differ only in what Linkherd does, so their difference
#                is the part of the Exec path's figure that Linkherd controls, without the 7-8 ms of gio (and its
#                run-to-run spread of half a millisecond) around it.
# Then the cold starts, COLD_RUNS times for each of exec, activatable and xdg: no Linkherd is running, so the bus
# starts one from the D-Bus service file (for exec and xdg because linkherd-app's Open call asks it to), and the
# link waits in the call until it serves. And the resident's memory after the warm rounds and a second of idle:
# VmRSS, and from /proc/PID/smaps_rollup its PSS (shared pages divided among the processes that map them) and USS
# (its private pages, what ending it would give back).
#
# It reports; a missed target does not fail the script, because the figures depend on the machine.
set -euo pipefail
shopt -s nullglob

script=$(realpath "${BASH_SOURCE[0]}")
readonly script
readonly bus_name=org.linkherd.Linkherd
# What Linkherd may add: warm through a linkherd-app (exec, xdg) and through the bus alone (activatable), cold
# offscreen and on X11 with a tray; and the resident's idle VmRSS on each.
readonly target_added_warm_ms=3 target_added_warm_activatable_ms=1
readonly target_added_cold_offscreen_ms=20 target_added_cold_x11_ms=30
readonly target_rss_offscreen_mib=24 target_rss_x11_mib=27

fail()
{
    echo "e2e_latency: $*" >&2
    exit 1
}

usage()
{
    echo "usage: $0 [-n ROUNDS (default 50)] [-c COLD_RUNS (default 10)] [-p offscreen|x11|both (default both)]" \
        "[BUILD_DIR (default build)]" >&2
    exit 2
}

# ---------------------------------------------------------------------------------------------------------------
# The throwaway desktop (set up before the private bus exists)
# ---------------------------------------------------------------------------------------------------------------
#
# <sandbox>/home                      HOME, with .config (XDG_CONFIG_HOME), .local/share (XDG_DATA_HOME), …
# <sandbox>/home/.local/share/applications/fake.desktop
# <sandbox>/sys/share                 XDG_DATA_DIRS for the exec and direct paths: Linkherd's Exec-only
#                                     entry, and the D-Bus service file the bus activates Linkherd with
# <sandbox>/sys-activatable/share     XDG_DATA_DIRS for the activatable path: Linkherd's DBusActivatable entry
# <sandbox>/direct-config             XDG_CONFIG_HOME for the direct path: its mimeapps.list names the fake
# <sandbox>/display                   what Xvfb logs
# <sandbox>/bin/fake                  the fake browser; it records into <sandbox>/launches/fake/

require_tool()
{
    command -v "$1" >/dev/null || fail "$1 is missing (Debian package $2; scripts/install-deps.sh installs it)"
}

require_binary()
{
    [[ -x $1 ]] || fail "$1 is missing or not executable: build first (bash scripts/build.sh)${2:+; $2}"
}

# One Exec argument as desktop entries want it: double-quoted, with ", \`, \$ and \\ escaped, when it holds a
# reserved character (a build folder with a space in its path must work); % doubled so that it is not read as a
# field code; and, since the whole Exec value is a string value, its backslashes escaped once more.
desktop_exec_argument()
{
    local argument=$1
    local reserved=$' \t\n"\'\\><~|&;$*?#()`'
    if [[ $argument == *["$reserved"]* ]]; then
        argument=${argument//\\/\\\\}
        argument=${argument//\"/\\\"}
        argument=${argument//\`/\\\`}
        argument=${argument//\$/\\\$}
        argument="\"$argument\""
    fi
    argument=${argument//%/%%}
    printf '%s' "${argument//\\/\\\\}"
}

# Linkherd's entry; the second argument adds DBusActivatable=true, as the entry installed from data/ has.
linkherd_entry()
{
    local app=$1 activatable=$2
    printf '[Desktop Entry]\nType=Application\nName=Linkherd\nExec=%s %%U\n' "$(desktop_exec_argument "$app")"
    [[ $activatable == activatable ]] && printf 'DBusActivatable=true\n'
    printf 'MimeType=x-scheme-handler/http;x-scheme-handler/https;\nCategories=Network;WebBrowser;\n'
}

write_applications()
{
    local sandbox=$1 app=$2
    # The fake sits in the user's folder, as a browser installed per user would; Linkherd in the system
    # folder, as a package puts it.
    printf '[Desktop Entry]\nType=Application\nName=Fake\nExec=%s %%U\n%s\n%s\n' \
        "$(desktop_exec_argument "$sandbox/bin/fake")" \
        'MimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;' 'Categories=Network;WebBrowser;' \
        >"$sandbox/home/.local/share/applications/fake.desktop"
    linkherd_entry "$app" exec >"$sandbox/sys/share/applications/$bus_name.desktop"
    linkherd_entry "$app" activatable >"$sandbox/sys-activatable/share/applications/$bus_name.desktop"
    # As installed, the service starts the resident itself. The bus daemon reads backslashes in a value as
    # escapes, then splits Exec as a shell would; inside single quotes every other character stands for itself.
    local resident
    resident=$(dirname "$app")/linkherd-resident
    [[ $resident != *\'* ]] || fail "a D-Bus service file cannot start a path holding a single quote: $resident"
    printf "[D-BUS Service]\nName=%s\nExec='%s' --background\n" "$bus_name" "${resident//\\/\\\\}" \
        >"$sandbox/sys/share/dbus-1/services/$bus_name.service"

    # Without mimeinfo.cache GIO lists no entry for any MIME type.
    local folder
    for folder in "$sandbox"/{home/.local/share,sys/share,sys-activatable/share}/applications; do
        update-desktop-database "$folder" || fail "update-desktop-database $folder failed"
    done
}

make_sandbox()
{
    local sandbox=$1 app=$2 fake=$3
    mkdir -p "$sandbox"/home/{.config,.cache,.local/share/applications,.local/state} \
        "$sandbox"/{sys/share/applications,sys/share/dbus-1/services,sys-activatable/share/applications} \
        "$sandbox"/{config-dirs,runtime,bin,launches,direct-config}
    chmod 700 "$sandbox/runtime"
    # The fake records into <its folder>/../launches/<its own name>/.
    cp "$fake" "$sandbox/bin/fake"
    write_applications "$sandbox" "$app"
}

# The environment of every process on the throwaway desktop. It starts empty (env -i), so no display, host
# bus, desktop identity or launch variable leaks in. GIO_USE_VFS and friends keep gvfs and dconf out: GIO
# stays inside this process tree. The bus daemon reads XDG_DATA_DIRS for its service files.
sandbox_environment()
{
    local sandbox=$1 platform=$2
    printf '%s\n' \
        "PATH=$sandbox/bin:${PATH:-/usr/bin:/bin}" \
        "HOME=$sandbox/home" \
        "XDG_CONFIG_HOME=$sandbox/home/.config" \
        "XDG_DATA_HOME=$sandbox/home/.local/share" \
        "XDG_CACHE_HOME=$sandbox/home/.cache" \
        "XDG_STATE_HOME=$sandbox/home/.local/state" \
        "XDG_RUNTIME_DIR=$sandbox/runtime" \
        "XDG_DATA_DIRS=$sandbox/sys/share" \
        "XDG_CONFIG_DIRS=$sandbox/config-dirs" \
        "XDG_CURRENT_DESKTOP=X-Generic" \
        "GIO_USE_VFS=local" \
        "GIO_USE_VOLUME_MONITOR=unix" \
        "GSETTINGS_BACKEND=memory" \
        "NO_AT_BRIDGE=1" \
        "LANG=C.UTF-8" \
        "LC_ALL=C.UTF-8"
    if [[ $platform == x11 ]]; then
        printf '%s\n' "QT_QPA_PLATFORM=xcb" "DISPLAY=$display"
    else
        printf '%s\n' "QT_QPA_PLATFORM=offscreen"
    fi
}

# Xvfb on a free display; sets display (":N") and xvfb (its pid). -noreset: the server does not reset (and
# rebuild its state) each time its last client leaves, which would otherwise fall on every cold start.
start_display()
{
    local sandbox=$1 number
    exec {display_fd}< <(exec Xvfb -displayfd 1 -noreset -screen 0 1280x800x24 -nolisten tcp 2>"$sandbox/display")
    xvfb=$!
    read -r -t 10 -u "$display_fd" number || fail "Xvfb did not start: $(<"$sandbox/display")"
    display=:$number
}

main()
{
    local rounds=50 cold_runs=10 platforms=both option
    while getopts ':n:c:p:h' option; do
        case $option in
        n) rounds=$OPTARG ;;
        c) cold_runs=$OPTARG ;;
        p) platforms=$OPTARG ;;
        *) usage ;;
        esac
    done
    shift $((OPTIND - 1))
    (($# <= 1)) || usage
    [[ $rounds =~ ^[1-9][0-9]*$ && $cold_runs =~ ^[1-9][0-9]*$ ]] || usage
    case $platforms in
    offscreen | x11) ;;
    both) platforms="offscreen x11" ;;
    *) usage ;;
    esac

    local build=${1:-build}
    [[ -d $build ]] || fail "no build folder $build: build first (bash scripts/build.sh) or name the folder"
    build=$(realpath "$build")
    local app=$build/src/app/linkherd-app cli=$build/src/cli/linkherd
    local fake=$build/tests/support/linkherd_fake_browser
    require_binary "$app"
    require_binary "$cli"
    require_binary "$fake" "it is built with the tests (LINKHERD_BUILD_TESTS=ON)"
    local tray_host=$build/bench/bench_tray_host
    if [[ $platforms == *x11* ]]; then
        require_binary "$tray_host" "it is built with the benchmarks (LINKHERD_BUILD_BENCHMARKS=ON)"
        require_tool Xvfb xvfb
    fi
    require_tool gio libglib2.0-bin
    require_tool gdbus libglib2.0-bin
    require_tool dbus-run-session dbus-daemon
    require_tool update-desktop-database desktop-file-utils
    # Canonical, because a Linkherd process is recognised by the path of its executable.
    app=$(realpath "$app")

    sandbox=$(mktemp -d -t linkherd-e2e.XXXXXXXX)
    xvfb=""
    trap '[[ -z $xvfb ]] || kill "$xvfb" 2>/dev/null; rm -rf -- "$sandbox"' EXIT
    make_sandbox "$sandbox" "$app" "$fake"

    local environment platform
    for platform in $platforms; do
        display=""
        [[ $platform == x11 ]] && start_display "$sandbox"
        mapfile -t environment < <(sandbox_environment "$sandbox" "$platform")
        # The measuring half runs on a private bus of its own. The bus daemon's chatter (and the output of the
        # instances it activates) goes to a log; the measuring half takes the terminal back from descriptor 3.
        env -i "${environment[@]}" dbus-run-session -- \
            "$BASH" "$script" --on-private-bus "$sandbox" "$app" "$cli" "$rounds" "$cold_runs" "$platform" \
            "$tray_host" 3>&2 2>>"$sandbox/bus.log"
        if [[ -n $xvfb ]]; then
            kill "$xvfb" 2>/dev/null
            wait "$xvfb" 2>/dev/null || true
            xvfb=""
        fi
    done
}

# ---------------------------------------------------------------------------------------------------------------
# Measuring (on the private bus)
# ---------------------------------------------------------------------------------------------------------------

# The clock is bash's own EPOCHREALTIME (CLOCK_REALTIME, microseconds): read without starting a process, with
# no interpreter or helper to install. The fake browser records CLOCK_REALTIME too (the field after its pid),
# so both ends read the same clock. NTP slewing moves it by at most 0.5 µs per ms; a step of the clock would
# give an impossible figure, which collect_launch refuses.
now_ns()
{
    local micro=${EPOCHREALTIME/[.,]/}
    now=$((10#$micro * 1000))
}

# Sets launch_wall_ns, launch_link and launch_config_home from one record of the fake browser. Each field ends
# in NUL: format tag, pid, CLOCK_REALTIME ns, CLOCK_MONOTONIC ns, argc, argv…, environment count, NAME=value….
read_launch()
{
    local record
    mapfile -d '' -t record <"$1"
    [[ ${record[0]-} == linkherd-fake-launch-1 ]] || fail "not a launch record: $1"
    launch_wall_ns=${record[2]}
    local argc=${record[4]}
    ((argc == 2)) || fail "the browser was started with $((argc - 1)) arguments: ${record[*]:6:argc-1}"
    launch_link=${record[6]}
    launch_config_home=
    local entry
    for entry in "${record[@]:5+argc+1}"; do
        [[ $entry == XDG_CONFIG_HOME=* ]] && launch_config_home=${entry#XDG_CONFIG_HOME=}
    done
    return 0
}

dbus_daemon_call()
{
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method "org.freedesktop.DBus.$1" "$bus_name" 2>/dev/null
}

# The pid behind Linkherd's bus name; fails when nobody owns it.
bus_owner_pid()
{
    local reply
    reply=$(dbus_daemon_call GetConnectionUnixProcessID) || return 1
    [[ $reply =~ uint32\ ([0-9]+) ]] && echo "${BASH_REMATCH[1]}"
}

bus_name_owned()
{
    [[ $(dbus_daemon_call NameHasOwner) == "(true,)" ]]
}

wait_for_bus_name()
{
    local tries
    for ((tries = 0; tries < 1000; tries++)); do
        bus_name_owned && return 0
        sleep 0.01
    done
    fail "nobody took $bus_name within 10 s; log: $(<"$log")"
}

# A process that has ended but is not reaped (its parent has gone, and a container's init may not reap) counts
# as gone.
process_alive()
{
    local state
    [[ -r /proc/$1/stat ]] && read -r _ _ state _ <"/proc/$1/stat" 2>/dev/null && [[ $state != Z ]]
}

# Signals pid only when it runs the Linkherd under test (linkherd-app, or the linkherd-resident it becomes when
# no instance runs): a pid is never taken on trust.
signal_linkherd()
{
    local exe
    exe=$(readlink "/proc/$2/exe" 2>/dev/null) || return 1
    [[ $exe == "$app" || $exe == "$(dirname "$app")/linkherd-resident" ]] && kill "-$1" "$2" 2>/dev/null
}

# Ends the instance that owns the bus name and waits until both the process and its name are gone, so that the
# next cold run really starts from nothing.
stop_instance()
{
    local pid tries
    pid=$(bus_owner_pid) || return 0
    signal_linkherd TERM "$pid" || fail "the owner of $bus_name, pid $pid, is not $app"
    for ((tries = 0; tries < 500; tries++)); do
        process_alive "$pid" || bus_name_owned || return 0
        sleep 0.01
    done
    fail "Linkherd (pid $pid) did not end within 5 s of SIGTERM"
}

# On the way out, whatever happened: no Linkherd (and no tray) of this run may outlive it.
kill_leftovers()
{
    local pid
    [[ -n ${resident-} ]] && signal_linkherd KILL "$resident"
    pid=$(bus_owner_pid) && signal_linkherd KILL "$pid"
    [[ -n ${tray_pid-} ]] && kill "$tray_pid" 2>/dev/null
    return 0
}

# The stand-in tray, on the private bus before Linkherd starts, as a panel is at login.
start_tray_host()
{
    "$1" >>"$log" 2>&1 &
    tray_pid=$!
    local tries
    for ((tries = 0; tries < 1000; tries++)); do
        [[ $(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.NameHasOwner org.kde.StatusNotifierWatcher 2>/dev/null) == "(true,)" ]] &&
            return 0
        sleep 0.01
    done
    fail "the stand-in tray did not take org.kde.StatusNotifierWatcher within 10 s; log: $(<"$log")"
}

# Prints "VmRSS PSS USS" of the process in MiB.
resident_memory()
{
    local rss pss uss
    rss=$(awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status") || return 1
    read -r pss uss < <(awk '/^Pss:/ { pss = $2 } /^Private_(Clean|Dirty):/ { uss += $2 }
        END { printf "%.1f %.1f\n", pss / 1024, uss / 1024 }' "/proc/$1/smaps_rollup") || return 1
    echo "$rss $pss $uss"
}

# Waits for the one record a run leaves and sets latency_ns from it. Anything but exactly one start, with
# exactly this link, by way of the expected configuration, stops the benchmark.
collect_launch()
{
    local started=$1 link=$2 config_home=$3 records tries
    for ((tries = 0; tries < 1000; tries++)); do
        records=("$launches"/*.launch)
        ((${#records[@]} == 0)) || break
        sleep 0.01
    done
    ((${#records[@]} > 0)) || fail "no browser start within 10 s for $link; log: $(<"$log")"
    ((${#records[@]} == 1)) || fail "the browser was started ${#records[@]} times for $link"
    read_launch "${records[0]}"
    rm -f -- "${records[0]}"
    [[ $launch_link == "$link" ]] || fail "the browser was given $launch_link instead of $link"
    # The direct paths start the browser from gio or xdg-open, which have the direct configuration; the others
    # from Linkherd, which has the user's.
    [[ $launch_config_home == "$config_home" ]] ||
        fail "$link took the wrong path: the browser was started with XDG_CONFIG_HOME=$launch_config_home"
    latency_ns=$((launch_wall_ns - started))
    ((latency_ns > 0 && latency_ns < 60000000000)) ||
        fail "impossible latency of ${latency_ns} ns for $link: did the wall clock step?"
}

# Why the direct path is `gio open` with its own XDG_CONFIG_HOME rather than `gio launch fake.desktop`: it is
# what the same `gio open` costs without Linkherd. gio parses the link, reads mimeapps.list, looks the scheme's
# default up in the same desktop-entry index and launches through the same code; only the entry that
# mimeapps.list names differs. `gio launch <file>` would skip the default lookup and charge it to Linkherd.
# Switching the default back and forth between runs would put the writes and GIO's file monitoring into the
# measurements; every gio is a new process that reads mimeapps.list afresh, so giving each run its own
# XDG_CONFIG_HOME costs nothing. In the same way XDG_DATA_DIRS picks which of Linkherd's two entries gio sees.
#
# open_via PATH LINK: one `gio open`; sets latency_ns. The clock is read last thing before bash starts gio;
# starting gio costs the same on every path and cancels out of the differences.
open_via()
{
    local path=$1 link=$2 config=$user_config data=$sandbox/sys/share
    # xdg-open takes the generic way only where it believes there is a display; nothing here opens one.
    local -a opener=(gio open)
    case $path in
    exec) ;;
    activatable) data=$sandbox/sys-activatable/share ;;
    direct) config=$direct_config ;;
    xdg) opener=(env -u XDG_CURRENT_DESKTOP DISPLAY=:99 xdg-open) ;;
    xdg-direct)
        opener=(env -u XDG_CURRENT_DESKTOP DISPLAY=:99 xdg-open)
        config=$direct_config
        ;;
    forward) opener=("$app") ;;
    browser)
        opener=("$sandbox/bin/fake")
        config=$direct_config
        ;;
    esac
    # A record before the run would mean that an earlier link reached the browser twice.
    local leftovers=("$launches"/*.launch)
    ((${#leftovers[@]} == 0)) || fail "an earlier link started the browser again: ${leftovers[*]}"
    local now
    now_ns
    XDG_CONFIG_HOME=$config XDG_DATA_DIRS=$data "${opener[@]}" "$link" >>"$log" 2>&1 ||
        fail "${opener[*]} $link ($path) failed; log: $(<"$log")"
    collect_launch "$now" "$link" "$config"
}

# Lets the processes of the previous run (gio, a forwarding linkherd-app, the fake) end, so that runs neither
# overlap nor compete for the CPU.
settle()
{
    sleep 0.15
}

# Prints "median p90" in milliseconds of the nanosecond figures in the named array. The median of an even
# count is the mean of the middle two; p90 is the nearest rank, ceil(0.9 n).
summarize()
{
    local -n figures=$1
    printf '%s\n' "${figures[@]}" | sort -n | awk '
        { v[NR] = $1 }
        END {
            median = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            rank = int(0.9 * NR); if (rank < 0.9 * NR) rank++
            printf "%.2f %.2f\n", median / 1e6, v[rank] / 1e6
        }'
}

calculate()
{
    awk "BEGIN { printf \"%.2f\", $1 }"
}

row()
{
    printf '  %-44s %7s ms %7s ms\n' "$1" "$2" "$3"
}

target_row()
{
    local verdict
    verdict=$(awk -v added="$2" -v target="$3" 'BEGIN { print (added <= target) ? "met" : "MISSED" }')
    printf '  %-44s %7s ms             target <= %s ms: %s\n' "$1" "$2" "$3" "$verdict"
}

# The first run on a configuration writes rules.json with the system default browser as the fallback, so the
# fake is made the default before the resident starts; then Linkherd takes over.
start_resident()
{
    "$cli" default --hand-back fake >>"$log" 2>&1 || fail "linkherd default --hand-back fake failed; log: $(<"$log")"
    XDG_CONFIG_HOME=$direct_config "$cli" default --hand-back fake >>"$log" 2>&1 ||
        fail "linkherd default --hand-back fake failed for the direct configuration; log: $(<"$log")"

    "$app" --background >>"$log" 2>&1 &
    resident=$!
    local rules=$user_config/linkherd/rules.json
    wait_for_bus_name
    [[ $(bus_owner_pid) == "$resident" ]] || fail "the resident linkherd-app does not own $bus_name"
    # The rules are written soon after the name is taken, before the first link is served.
    local tries
    for ((tries = 0; tries < 1000; tries++)); do
        grep -qs '"bundleID": "fake"' "$rules" && break
        sleep 0.01
    done
    grep -qs '"bundleID": "fake"' "$rules" ||
        fail "the first run did not make the fake the fallback: $(cat "$rules" 2>&1)"
    [[ $("$cli" default --set 2>>"$log") == yes ]] || fail "linkherd default --set failed; log: $(<"$log")"
}

measure()
{
    sandbox=$1 app=$2 cli=$3
    local rounds=$4 cold_runs=$5 platform=$6 tray_host=$7
    exec 2>&3 3>&-
    launches=$sandbox/launches/fake
    log=$sandbox/e2e.log
    user_config=$XDG_CONFIG_HOME
    direct_config=$sandbox/direct-config
    resident=""
    : >"$log"
    tray_pid=""
    trap kill_leftovers EXIT
    trap 'exit 130' INT TERM

    [[ $platform == x11 ]] && start_tray_host "$tray_host"
    start_resident

    # Warm: the three paths take turns, so that whatever else the machine does falls on all of them alike.
    # The first rounds fill the page cache and the resident's caches and are not counted.
    local -a exec_warm activatable_warm direct xdg_warm xdg_direct forward browser exec_cold activatable_cold xdg_cold
    local round path warmups=3
    for ((round = -warmups; round < rounds; round++)); do
        for path in exec activatable direct xdg xdg-direct forward browser; do
            open_via "$path" "https://example.com/e2e/$path/$round"
            settle
            if ((round >= 0)); then
                case $path in
                exec) exec_warm+=("$latency_ns") ;;
                activatable) activatable_warm+=("$latency_ns") ;;
                direct) direct+=("$latency_ns") ;;
                xdg) xdg_warm+=("$latency_ns") ;;
                xdg-direct) xdg_direct+=("$latency_ns") ;;
                forward) forward+=("$latency_ns") ;;
                browser) browser+=("$latency_ns") ;;
                esac
            fi
        done
    done

    sleep 1
    local rss pss uss
    read -r rss pss uss < <(resident_memory "$resident") || fail "the resident linkherd-app (pid $resident) is gone"

    # Cold: each run starts with no instance, and the instance it starts is ended afterwards. The rules file
    # stays, as it does from one session to the next.
    stop_instance
    resident=""
    for ((round = 0; round < cold_runs; round++)); do
        for path in exec activatable xdg; do
            open_via "$path" "https://example.com/e2e/cold-$path/$round"
            settle
            stop_instance
            case $path in
            exec) exec_cold+=("$latency_ns") ;;
            activatable) activatable_cold+=("$latency_ns") ;;
            xdg) xdg_cold+=("$latency_ns") ;;
            esac
        done
    done

    local gio_median gio_p90 xdg_median xdg_p90 direct_median direct_p90
    read -r gio_median gio_p90 < <(summarize direct)
    read -r xdg_median xdg_p90 < <(summarize xdg_direct)
    local on="offscreen"
    [[ $platform == x11 ]] && on="X11 (Xvfb -noreset) with a tray"
    echo "Linkherd end-to-end latency, $on, gio open / xdg-open URL -> browser start ($rounds warm rounds," \
        "$cold_runs cold runs)"
    printf '  %-44s %10s %10s\n' "" median p90
    row "gio open straight to the browser (b)" "$gio_median" "$gio_p90"
    row "xdg-open straight to the browser (b)" "$xdg_median" "$xdg_p90"
    local style median p90 cold_median cold_p90 label
    for style in exec activatable xdg; do
        direct_median=$gio_median
        case $style in
        exec) label="Exec entry: gio starts linkherd-app, which forwards" ;;
        activatable) label="DBusActivatable entry: gio calls Open on the bus" ;;
        xdg)
            label="xdg-open (generic desktop) runs linkherd-app, which forwards"
            direct_median=$xdg_median
            ;;
        esac
        read -r median p90 < <(summarize "${style}_warm")
        read -r cold_median cold_p90 < <(summarize "${style}_cold")
        echo "$label"
        row "through the resident (a)" "$median" "$p90"
        local warm_target=$target_added_warm_ms
        [[ $style == activatable ]] && warm_target=$target_added_warm_activatable_ms
        target_row "added when resident (median a - median b)" "$(calculate "$median - $direct_median")" \
            "$warm_target"
        printf '  %-44s %7s x\n' "ratio (median a / median b)" "$(calculate "$median / $direct_median")"
        row "cold start (c)" "$cold_median" "$cold_p90"
        local cold_target=$target_added_cold_offscreen_ms
        [[ $platform == x11 ]] && cold_target=$target_added_cold_x11_ms
        target_row "added cold (median c - median b)" "$(calculate "$cold_median - $direct_median")" \
            "$cold_target"
    done
    local forward_median forward_p90 browser_median browser_p90
    read -r forward_median forward_p90 < <(summarize forward)
    read -r browser_median browser_p90 < <(summarize browser)
    echo "Without gio: bash runs linkherd-app, which forwards, or the browser itself"
    row "linkherd-app URL (d)" "$forward_median" "$forward_p90"
    row "the browser itself (e)" "$browser_median" "$browser_p90"
    printf '  %-44s %7s ms\n' "added by Linkherd (median d - median e)" \
        "$(calculate "$forward_median - $browser_median")"
    local rss_target=$target_rss_offscreen_mib
    [[ $platform == x11 ]] && rss_target=$target_rss_x11_mib
    printf '  %-44s %7s MiB             target <= %s MiB: %s\n' "resident idle RSS (VmRSS)" "$rss" "$rss_target" \
        "$(awk -v rss="$rss" -v target="$rss_target" 'BEGIN { print (rss <= target) ? "met" : "MISSED" }')"
    printf '  %-44s %7s MiB\n' "resident idle PSS (smaps_rollup)" "$pss" "resident idle USS (private pages)" "$uss"
}

if [[ ${1-} == --on-private-bus ]]; then
    shift
    measure "$@"
else
    main "$@"
fi
