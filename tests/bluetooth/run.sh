#!/usr/bin/env bash
# bt: ports against a fake BlueZ (fake_bluez.py, python-dbusmock) on a private system bus, with rdq-sim
# --listen as the scanners behind it: discovery, a whole upgrade over a bt: port, connections that fail or
# never come up, no bus and a bus without BlueZ, and a station that sees a scanner paired and removed. Uses
# the normal build; a build without Bluetooth support is skipped.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
cd "$ROOT"
# python3-dbusmock is a Debian package: its python is the system's, whatever python3 is first on PATH.
ensure_packages python3-dbusmock dbus-daemon libglib2.0-bin libsystemd-dev || exit 1
PY=/usr/bin/python3
B="$ROOT/build/normal"
CLI="$B/src/cli/orvexa-cli"
SIM="$B/sim/rdq-sim"
if [ ! -x "$CLI" ] || [ ! -x "$SIM" ]; then
    echo "bluetooth: skipped: orvexa-cli or rdq-sim is not built"
    exit 0
fi
if "$CLI" --port bt:00:11:22:33:44:55 --yes 2>&1 | grep -q "no Bluetooth support"; then
    echo "bluetooth: skipped: this build has no Bluetooth support"
    exit 0
fi
work="$(mktemp -d)"
pids=()
cleanup() { for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; rm -rf "$work"; }
trap cleanup EXIT
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); echo "ok: $1"; else failed=$((failed + 1)); echo "FAILED: $1"; fi; }
# until_true SECONDS COMMAND : runs COMMAND every 50 ms until it succeeds, at most SECONDS.
until_true() {
    local end=$((SECONDS + $1)); shift
    until eval "$1"; do [ $SECONDS -ge $end ] && return 1; sleep 0.05; done
}
# elapsed START : seconds since START (date +%s.%N), to one decimal
elapsed() { $PY -c "import sys, time; print(f'{time.time() - float(sys.argv[1]):.1f}')" "$1"; }

# A private bus for the tool to take for the system's, and one more without BlueZ on it.
start_bus() {
    dbus-daemon --session --nofork --address="unix:path=$work/$1.bus" --print-address >"$work/$1.address" 2>"$work/$1.err" &
    pids+=($!)
    until_true 10 "[ -s '$work/$1.address' ]"
}
start_bus system
start_bus empty
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system.bus"
$PY -m dbusmock --template tests/bluetooth/fake_bluez.py -l "$work/bluez.log" >"$work/bluez.out" 2>&1 &
pids+=($!)
bluez() { gdbus call --system --dest org.bluez --object-path "${path:-/}" --method "$@" >/dev/null; }
mock() { bluez "org.bluez.Mock.$@"; }
until_true 10 "bluez org.freedesktop.DBus.ObjectManager.GetManagedObjects 2>/dev/null" ||
    { echo "FAILED: the fake BlueZ did not start"; cat "$work/bluez.out"; exit 1; }

# scanner NAME ARGS... : rdq-sim on $work/NAME.sock (or on a terminal with --pty), recorded in NAME.json
scanner() {
    local name="$1"; shift
    local where=(--listen "$work/$name.sock")
    [ "${1:-}" = --pty ] && { where=(); shift; }
    "$SIM" "${where[@]}" --record "$work/$name.json" "$@" >"$work/$name.port" 2>"$work/$name.err" &
    pids+=($!)
    eval "${name}_pid=$!"
    until_true 10 "[ -s '$work/$name.port' ]"
}
# stop_scanner NAME : stops it, which writes its record
stop_scanner() { local pid="${1}_pid"; kill -TERM "${!pid}" 2>/dev/null; wait "${!pid}" 2>/dev/null; }
# paired ADAPTER ADDRESS ALIAS [BEHAVIOUR] : a scanner paired with the adapter, reached as BEHAVIOUR says
paired() {
    mock AddDevice "$1" "$2" "$3" && mock SetSerialPort "$2" "${4:-}" && mock PairScanner "$1" "$2"
}
# cli NAME ARGS... : orvexa-cli ARGS, bounded; output in $work/NAME.out, exit code in NAME_rc, time NAME_s
cli() {
    local name="$1" start; shift
    start=$(date +%s.%N)
    timeout 60 "$CLI" "$@" >"$work/$name.out" 2>&1
    eval "${name}_rc=$?"
    eval "${name}_s=$(elapsed "$start")"
}
says() { grep -q -- "$2" "$work/$1.out" || { echo "  $1 said:"; sed 's/^/    /' "$work/$1.out" | tail -n 8; false; }; }

# The fake itself, as the tool uses it: a profile, ConnectProfile, a socket that reaches rdq-sim, twice.
scanner selfcheck
mock AddAdapter hci9 Check
paired hci9 AA:00:00:00:00:09 "Self check" "listen:$work/selfcheck.sock"
check "the fake BlueZ hands over a socket that reaches rdq-sim, connection after connection" \
    "[ \"\$($PY tests/bluetooth/profile_client.py /org/bluez/hci9/dev_AA_00_00_00_00_09 M 2 | grep -c RDQ200A7UG)\" = 2 ]"
mock RemoveAdapterWithDevices hci9

# Discovery: one adapter with a scanner, a phone (paired, no serial port), a stranger (serial port, not
# paired) and an alias of odd bytes; a second adapter paired with the same scanner and one of its own.
mock AddAdapter hci0 "Desk one"
mock AddAdapter hci1 "Desk two"
paired hci0 AA:BB:CC:00:00:01 "Scanner One"
paired hci1 AA:BB:CC:00:00:01 "Scanner One"
paired hci1 AA:BB:CC:00:00:04 "Scanner Four"
mock AddDevice hci0 AA:BB:CC:00:00:02 Phone && mock PairDevice hci0 AA:BB:CC:00:00:02 5898764
mock AddDevice hci0 AA:BB:CC:00:00:03 Stranger && mock SetUuids hci0 AA:BB:CC:00:00:03 "['00001101-0000-1000-8000-00805f9b34fb']"
paired hci0 AA:BB:CC:00:00:05 $'Odd "quoted" \'alias\' caf\xc3\xa9 \xe6\x97\xa5\x01\x1b[31m\tend'
cli list --list-ports
check "--list-ports lists a paired scanner as bt:ADDRESS with its alias, once for two adapters" \
    "[ \$(grep -cE '^bt:AA:BB:CC:00:00:01 .*Scanner One\$' '$work/list.out') -eq 1 ]"
check "--list-ports lists the scanner paired with the second adapter alone" "says list '^bt:AA:BB:CC:00:00:04 .*Scanner Four$'"
check "--list-ports leaves out a paired device without the serial port profile, and one not paired" \
    "! grep -qE 'AA:BB:CC:00:00:0[23]' '$work/list.out'"
check "--list-ports shows an alias of odd bytes on one printable line" \
    "[ \$(grep -c 'AA:BB:CC:00:00:05' '$work/list.out') -eq 1 ] && grep 'AA:BB:CC:00:00:05' '$work/list.out' | grep -q 'Odd \"quoted\" .alias. caf' && ! grep 'AA:BB:CC:00:00:05' '$work/list.out' | LC_ALL=C grep -q \$'[\x01-\x1f\x7f]'"
check "--list-ports lists the bt: ports after the tty ports, in the order of their addresses, exit 0" \
    "[ \$list_rc -eq 0 ] && awk '/^bt:/ { bt = 1; print; next } bt { exit 1 }' '$work/list.out' | sort -c"

# A whole upgrade with pages and fonts over a bt: port holds what the same upgrade over a terminal holds.
scanner reference --pty
cli tty --port "$(cat "$work/reference.port")" --silent --yes --fonts
stop_scanner reference
scanner one
mock SetSerialPort AA:BB:CC:00:00:01 "listen:$work/one.sock"
cli upgrade --port bt:AA:BB:CC:00:00:01 --silent --yes --fonts
stop_scanner one
echo "upgrade with pages and fonts, unpaced: ${tty_s} s over a terminal, ${upgrade_s} s over bt:"
check "an upgrade with pages and fonts over bt: ends written (exit 0)" \
    "[ \$upgrade_rc -eq 0 ] && says upgrade 'Firmware updated sucessfully!!!' && says upgrade 'Japanese font downloaded..'"
check "the scanner then holds what the same upgrade over a terminal leaves: every command, frame and chunk" \
    "$PY - '$work/reference.json' '$work/one.json' <<'PY'
import json, sys
def held(path):
    r = json.load(open(path))
    return ([c['text'] for c in r['commands']], [(f['kind'], f['block'], f['crcOk'], f['reply']) for f in r['frames']],
            [(c['address'], c['stored'], c['sha256']) for c in r['chunks']], r['image'], r['upgradeFinished'])
tty, bt = held(sys.argv[1]), held(sys.argv[2])
sys.exit(0 if tty == bt and tty[4] else print('over a terminal:', tty[0][:12], tty[3:], '\nover bt:', bt[0][:12], bt[3:]) or 1)
PY"
check "each connection was shut down and let go: as many links down as up, one at a time" \
    "$PY - '$work/bluez.log' '$work/one.sock' <<'PY'
import sys
lines = [l for l in open(sys.argv[1]) if 'AA_BB_CC_00_00_01' in l and ('link up' in l or 'link down' in l)]
up = [l for l in lines if 'link up' in l]
alternating = all(('link up' in l) == (i % 2 == 0) for i, l in enumerate(lines))
sys.exit(0 if up and alternating and len(lines) == 2 * len(up) else print(''.join(lines)) or 1)
PY"

# Connections that fail: the scanner hangs up in the middle of the firmware; out of reach; refusing; never
# answering; offering no serial port.
scanner hangup --vanish-at frame:100
paired hci0 AA:BB:CC:00:00:11 "Hang-up" "listen:$work/hangup.sock"
cli hangup --port bt:AA:BB:CC:00:00:11 --silent --yes
check "a scanner that hangs up mid-transfer: a transfer error (exit 3) in ${hangup_s} s" "[ \$hangup_rc -eq 3 ]"
paired hci0 AA:BB:CC:00:00:12 "Away" page-timeout
cli away --port bt:AA:BB:CC:00:00:12 --silent --yes
check "a scanner out of reach: exit 1, 'out of range', in ${away_s} s" "[ \$away_rc -eq 1 ] && says away 'out of range'"
paired hci0 AA:BB:CC:00:00:13 "Refusing" refused
cli refused --port bt:AA:BB:CC:00:00:13 --silent --yes
check "a scanner that refuses: exit 1, 'refused the connection'" "[ \$refused_rc -eq 1 ] && says refused 'refused the connection'"
paired hci0 AA:BB:CC:00:00:14 "Mute" never
cli never --port bt:AA:BB:CC:00:00:14 --silent --yes
check "a connection never answered ends bounded: exit 1, 'did not connect within 20 s', in ${never_s} s (at most 25)" \
    "[ \$never_rc -eq 1 ] && says never 'did not connect within 20 s' && $PY -c 'import sys; sys.exit($never_s > 25)'"
paired hci0 AA:BB:CC:00:00:15 "No serial port"
cli unavailable --port bt:AA:BB:CC:00:00:15 --silent --yes
check "a scanner offering no serial port now: exit 1, 'no serial port'" \
    "[ \$unavailable_rc -eq 1 ] && says unavailable 'no serial port'"

# No bus at all, and a bus without BlueZ: a bt: port ends at once with the reason, and --list-ports lists
# the tty ports (here a terminal named in ORVEXA_EXTRA_PORTS, as a container may have none) and no error.
scanner tty --pty
tty_port="$(cat "$work/tty.port")"
for bus in nobus empty; do
    address="unix:path=$work/empty.bus"
    [ $bus = nobus ] && address=unix:path=/nonexistent
    DBUS_SYSTEM_BUS_ADDRESS="$address" cli "${bus}_port" --port bt:AA:BB:CC:00:00:01 --silent --yes
    DBUS_SYSTEM_BUS_ADDRESS="$address" ORVEXA_EXTRA_PORTS="$tty_port" cli "${bus}_list" --list-ports
done
check "no bus: a bt: port ends (exit 1) in ${nobus_port_s} s saying the system D-Bus cannot be reached" \
    "[ \$nobus_port_rc -eq 1 ] && says nobus_port 'D-Bus cannot be reached' && $PY -c 'import sys; sys.exit($nobus_port_s > 5)'"
check "a bus without BlueZ: a bt: port ends (exit 1) in ${empty_port_s} s saying BlueZ is not running" \
    "[ \$empty_port_rc -eq 1 ] && says empty_port 'BlueZ' && $PY -c 'import sys; sys.exit($empty_port_s > 5)'"
for bus in nobus empty; do
    check "$bus: --list-ports lists the tty ports, exit 0, nothing else" \
        "[ \$${bus}_list_rc -eq 0 ] && says ${bus}_list '^$tty_port ' && ! grep -vq '^/dev/' '$work/${bus}_list.out'"
done

# The station: a scanner paired while it watches is written; removed, it is forgotten, so that paired again
# it is a new port and written again.
scanner station
"$CLI" --watch --yes --json --no-remember >"$work/station.out" 2>"$work/station.err" &
station_pid=$!
pids+=($station_pid)
until_true 10 "grep -q run_start '$work/station.out'"
results() { grep -c '"event":"result","t_ms":[0-9]*,"port":"bt:AA:BB:CC:00:00:21"' "$work/station.out"; }
paired hci0 AA:BB:CC:00:00:21 "Station" "listen:$work/station.sock"
until_true 60 "[ \$(results) -ge 1 ]"
check "the station writes a scanner paired while it watches" \
    "grep '\"port\":\"bt:AA:BB:CC:00:00:21\"' '$work/station.out' | grep -q '\"verdict\":\"written\"'"
path=/org/bluez/hci0 bluez org.bluez.Adapter1.RemoveDevice /org/bluez/hci0/dev_AA_BB_CC_00_00_21
sleep 1 # the station's look after the removal
paired hci0 AA:BB:CC:00:00:21 "Station" "listen:$work/station.sock"
until_true 60 "[ \$(results) -ge 2 ]"
check "a scanner removed is forgotten: paired again, the station writes it again" "[ \$(results) -eq 2 ]"
kill -INT $station_pid
until_true 30 "! kill -0 $station_pid 2>/dev/null"
check "the station ends on Ctrl-C with its run_end" "! kill -0 $station_pid 2>/dev/null && grep -q run_end '$work/station.out'"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
