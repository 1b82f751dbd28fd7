#!/usr/bin/env bash
# The orvexa_fleet role: ansible-lint, then the example playbook against three local desks, each with its
# own rdq-sim: a scanner that falls silent; one already current; a mixed fleet with the demo catalogue.
# Run once to write them, again to find them current, and in check mode on new scanners; then three desks
# against the slowest desk alone.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
cd "$ROOT"
# Ansible refuses to start without a UTF-8 locale.
export LC_ALL=C.UTF-8
ensure_packages ansible-core ansible-lint || exit 1
B="$ROOT/build/normal"
readonly kDesks=(silent current mixed)
readonly kParallelLimit=1.2
work="$(mktemp -d)"
pids=()
stop_desks() {
    for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
    pids=()
}
trap 'stop_desks; [ -n "${ORVEXA_KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); echo "ok: $1"; else failed=$((failed + 1)); echo "FAILED: $1"; fi; }

check "ansible-lint finds nothing" "(cd deploy/ansible && ansible-lint -q >/dev/null 2>&1)"
check "the merge: a row for every scanner, and for every desk without one" "python3 tests/ansible/report_test.py"

# sim RUN DESK ARGS... : starts a desk's rdq-sim; its ports, one a line, in $work/RUN/DESK.ports, and the
# record of the desk's scanner K in $work/RUN/DESK-K.json
sim() {
    local run="$1" desk="$2"
    shift 2
    "$B/sim/rdq-sim" "$@" >"$work/$run/$desk.ports" &
    pids+=($!)
}
# start_desks RUN before|after : every desk's scanners as they are before the rollout, or as it leaves
# them: written, and the one that fell silent written again at the bench.
start_desks() {
    local run="$1" state="$2" r="$work/$1"
    mkdir -p "$r"
    local silent=(--silent-from frame:300) old=() old18=(--firmware-text 3.01_180JA7UG) framed=()
    if [ "$state" = after ]; then
        silent=(--firmware-text 3.07_200_A7UG) old=(--firmware-text 3.07_200_A7UG)
        old18=(--firmware-text 3.05_180JA7UG) framed=(--framed-texts L500_01_0A00,F500_04_0500,A500_02_0B00)
    fi
    sim "$run" silent --scanners 1 --scanner 1 --record "$r/silent-1.json" "${silent[@]}"
    sim "$run" current --scanners 1 --scanner 1 --record "$r/current-1.json" --firmware-text 3.07_200_A7UG
    sim "$run" mixed --scanners 3 --scanner 1 --record "$r/mixed-1.json" "${old[@]}" \
        --scanner 2 --record "$r/mixed-2.json" --model-text RDQ180A7UG "${old18[@]}" \
        --scanner 3 --record "$r/mixed-3.json" --family framed "${framed[@]}"
    for desk in "${kDesks[@]}"; do
        for _ in $(seq 100); do [ -s "$r/$desk.ports" ] && break; sleep 0.05; done
    done
    sleep 0.2
    {
        echo "desks:"; echo "  hosts:"
        for desk in "${kDesks[@]}"; do
            echo "    $desk:"
            echo "      ansible_connection: local"
            echo "      ansible_python_interpreter: /usr/bin/python3"
            echo "      orvexa_cli_path: $B/src/cli/orvexa-cli"
            echo "      orvexa_desk_dir: $work/desk-$desk"
            echo "      orvexa_ports: [$(paste -sd, "$r/$desk.ports")]"
            echo "      orvexa_report_dir: $work/reports"
            [ "$desk" = mixed ] && echo "      orvexa_firmware: $ROOT/data/catalogue"
        done
    } >"$r/inventory.yml"
}
# play RUN ANSIBLE-ARGS... : the example playbook, as a user copies it, against RUN's desks (-e
# orvexa_serial=3 puts all three in one batch); stops them after, so that their records are written.
# Leaves the exit status in $work/RUN/rc, the seconds it took in $work/RUN/seconds and the report beside.
play() {
    local run="$1" r="$work/$1"
    shift
    cp -r deploy/ansible "$r/play"
    local start end
    start=$(date +%s.%N)
    (cd "$r/play" && ansible-playbook -i "$r/inventory.yml" "$@" upgrade.yml) >"$r/log" 2>&1
    echo $? >"$r/rc"
    end=$(date +%s.%N)
    python3 -c "print(f'{$end - $start:.1f}')" >"$r/seconds"
    cp "$work/reports/fleet-report.csv" "$r/"
    stop_desks
}
# recap RUN DESK changed|ok failed|ok : how the play's recap ends the desk
recap() {
    local changed='changed=0 ' failed='failed=0 '
    [ "$3" = changed ] && changed='changed=[1-9][0-9]* '
    [ "$4" = failed ] && failed='failed=[1-9][0-9]* '
    grep -qE "^$2 +:.* $changed.* $failed" "$work/$1/log"
}
# rows RUN EXPECTED : the report's rows (host, result, package) are EXPECTED, a Python list, and every
# scanner's record holds what its row says.
rows() {
    python3 - "$work/$1" "$ROOT" "$2" "${kDesks[@]}" <<'PY'
import ast, csv, json, sys
r, root, expected, desks = sys.argv[1], sys.argv[2], ast.literal_eval(sys.argv[3]), sys.argv[4:]
sys.path.insert(0, f"{root}/scripts")
from held_image import frames_received, held_sha256
rows = list(csv.DictReader(open(f"{r}/fleet-report.csv")))
got = sorted((row["host"], row["result"], row["package"]) for row in rows)
if got != sorted(expected):
    sys.exit(f"rows {got}")
record_of = {}
for desk in desks:
    for k, port in enumerate(open(f"{r}/{desk}.ports").read().split(), 1):
        record_of[port] = json.load(open(f"{r}/{desk}-{k}.json"))
for row in (row for row in rows if row["result"] != "not reached"):
    record = record_of[row["port"]]
    stored = sum(1 for c in record["chunks"] if c["stored"])
    if row["result"] == "written":
        field, sha = held_sha256(f"{root}/data/catalogue/{row['package'] or 'M307_200_A7UG'}.bin")
        holds = record[field]["sha256"] == sha
    elif row["result"] == "failed":
        holds = frames_received(record) > 0 and not record["upgradeFinished"]
    else:
        holds = frames_received(record) == 0 and stored == 0
    if not holds:
        sys.exit(f"{row['host']} {row['port']}: the record does not hold '{row['result']}'")
PY
}

start_desks first before
play first -e orvexa_serial=3
check "the first run exits 2 (a desk failed)" "[ $(cat "$work/first/rc") -eq 2 ]"
check "the silent desk failed, the mixed one changed, the current one neither" \
    "recap first silent ok failed && recap first current ok ok && recap first mixed changed ok"
check "the first run's rows, and each scanner holds what its row says" "rows first \"[
    ('silent', 'failed', ''), ('current', 'already current', ''), ('mixed', 'written', 'M307_200_A7UG'),
    ('mixed', 'written', 'M305_180JA7UG'), ('mixed', 'written', 'U500_500_B2WW')]\""
check "the summary counts them" \
    "grep -q '3 desks, 0 not reached: 3 scanners written, 1 already current, 0 would be written, 1 failed' $work/first/log"

start_desks again after
play again -e orvexa_serial=3
check "run again: exit 0 and no desk changed" \
    "[ $(cat "$work/again/rc") -eq 0 ] && recap again silent ok ok && recap again current ok ok && recap again mixed ok ok"
check "run again: every scanner already current, none sent a frame" "rows again \"[
    ('silent', 'already current', ''), ('current', 'already current', ''),
    ('mixed', 'already current', 'M307_200_A7UG'), ('mixed', 'already current', 'M305_180JA7UG'),
    ('mixed', 'already current', 'U500_500_B2WW')]\""

start_desks check before
play check -e orvexa_serial=3 --check
check "check mode: exit 0, no desk changed" \
    "[ $(cat "$work/check/rc") -eq 0 ] && recap check silent ok ok && recap check current ok ok && recap check mixed ok ok"
check "check mode: no scanner received a frame, and the report says what would be written" "rows check \"[
    ('silent', 'would write', ''), ('current', 'already current', ''), ('mixed', 'would write', 'M307_200_A7UG'),
    ('mixed', 'would write', 'M305_180JA7UG'), ('mixed', 'would write', 'U500_500_B2WW')]\""

# The example's own rollout: the first desk alone as a canary. It fails, and max_fail_percentage stops the
# rollout there; the report still holds it, and names the desks never reached, not with the results the
# check run left in the same folder.
start_desks canary before
play canary
check "a failed canary stops the rollout, and the report says so" \
    "[ $(cat "$work/canary/rc") -eq 2 ] && ! grep -qE '^(current|mixed) ' $work/canary/log && rows canary \"[
    ('silent', 'failed', ''), ('current', 'not reached', ''), ('mixed', 'not reached', '')]\""

# The desks of one batch run at once: three take about as long as the slowest of them alone.
slowest="$(python3 - "$work/first/fleet-report.csv" <<'PY'
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1])))
print(max(rows, key=lambda row: float(row["elapsed_s"]))["host"])
PY
)"
start_desks alone before
play alone -e orvexa_serial=3 --limit "$slowest,localhost"
three="$(cat "$work/first/seconds")" one="$(cat "$work/alone/seconds")"
echo "three desks: $three s; the slowest ($slowest) alone: $one s; ratio $(python3 -c "print(f'{$three / $one:.2f}')")"
check "three desks take at most $kParallelLimit times the slowest alone" "python3 -c 'import sys; sys.exit($three > $kParallelLimit * $one)'"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
