#!/usr/bin/env bash
# The orvexa_fleet role: ansible-lint, then the example playbook against three local desks, each with its
# own rdq-sim (a scanner that falls silent; one already current; a mixed fleet with the demo catalogue).
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
cd "$ROOT"
# Ansible refuses to start without a UTF-8 locale.
export LC_ALL=C.UTF-8
ensure_packages ansible-core ansible-lint || exit 1
B="$ROOT/build/normal"
work="$(mktemp -d)"
pids=()
cleanup() { for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; rm -rf "$work"; }
trap cleanup EXIT
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); echo "ok: $1"; else failed=$((failed + 1)); echo "FAILED: $1"; fi; }

check "ansible-lint finds nothing" "(cd deploy/ansible && ansible-lint -q >/dev/null 2>&1)"

# sim DESK ARGS... : starts a desk's rdq-sim; its ports in $work/DESK.ports
sim() {
    local desk="$1"; shift
    "$B/sim/rdq-sim" "$@" >"$work/$desk.ports" & pids+=($!)
    for _ in $(seq 100); do [ -s "$work/$desk.ports" ] && break; sleep 0.05; done
    sleep 0.2
}
sim silent --scanners 1 --scanner 1 --record "$work/silent-1.json" --silent-from frame:300
sim current --scanners 1 --scanner 1 --record "$work/current-1.json" --firmware-text 3.07_200_A7UG
sim mixed --scanners 3 --scanner 1 --record "$work/mixed-1.json" --scanner 2 --record "$work/mixed-2.json" \
    --model-text RDQ180A7UG --firmware-text 3.01_180JA7UG --scanner 3 --record "$work/mixed-3.json" --family framed
{
    echo "desks:"; echo "  hosts:"
    for desk in silent current mixed; do
        echo "    $desk:"
        echo "      ansible_connection: local"
        echo "      ansible_python_interpreter: /usr/bin/python3"
        echo "      orvexa_cli_path: $B/src/cli/orvexa-cli"
        echo "      orvexa_desk_dir: $work/desk-$desk"
        echo "      orvexa_ports: [$(paste -sd, "$work/$desk.ports")]"
        [ "$desk" = mixed ] && echo "      orvexa_firmware: $ROOT/data/catalogue"
    done
} >"$work/inventory.yml"
cp -r deploy/ansible "$work/play" && rm -rf "$work/play/reports"
start=$(date +%s.%N)
(cd "$work/play" && ansible-playbook -i "$work/inventory.yml" -e orvexa_serial=3 upgrade.yml) >"$work/run1.log" 2>&1
rc=$?
end=$(date +%s.%N)
echo "three desks: $(python3 -c "print(f'{$end - $start:.1f}')") s"
check "the playbook exits 2 (a desk failed)" "[ $rc -eq 2 ]"
check "the silent desk failed, the others not" "grep -qE '^silent .*failed=1' $work/run1.log && grep -qE '^current .*failed=0' $work/run1.log && grep -qE '^mixed .*failed=0' $work/run1.log"
report="$work/play/reports/fleet-report.csv"
check "report rows" "python3 - '$report' <<'PY'
import csv, sys
rows = sorted((r['host'], r['result'], r['package']) for r in csv.DictReader(open(sys.argv[1])))
want = sorted([('silent', 'failed', ''), ('current', 'already current', ''),
               ('mixed', 'written', 'M307_200_A7UG'), ('mixed', 'written', 'M305_180JA7UG'),
               ('mixed', 'written', 'U500_500_B2WW')])
sys.exit(0 if rows == want else print(rows) or 1)
PY"
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
