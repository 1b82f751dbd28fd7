"""The role's merge on desks' event files as orvexa-cli leaves them, and as it leaves none: one row per
scanner, one for a desk without any, and the check mode's verdict from would_write."""

import csv
import io
import json
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "../../deploy/ansible/roles/orvexa_fleet/filter_plugins"))
from orvexa_fleet import fleet_report  # noqa: E402


def result(port, verdict, **fields):
    return {"schema": 1, "event": "result", "port": port, "verdict": verdict, "elapsed_ms": 1250, **fields}


RUN_END = {"schema": 1, "event": "run_end", "exit_code": 1}
# host: its events (None: no file, the rollout never reached it), and the rows it must give
DESKS = {
    "never": (None, [("", "not reached")]),
    "nocli": ([], [("", "did not run")]),
    "noport": ([RUN_END], [("", "no scanner")]),
    "check": ([result("/dev/ttyUSB0", "verified", would_write=True),
               result("/dev/ttyUSB1", "verified", would_write=False),
               result("/dev/ttyUSB2", "verified"),
               "not an event {", RUN_END],
              [("/dev/ttyUSB0", "would write"), ("/dev/ttyUSB1", "already current"),
               ("/dev/ttyUSB2", "verified")]),
}

with tempfile.TemporaryDirectory() as folder:
    for host, (events, _) in DESKS.items():
        if events is not None:
            with open(os.path.join(folder, f"{host}.jsonl"), "w", encoding="utf-8") as handle:
                handle.writelines((e if isinstance(e, str) else json.dumps(e)) + "\n" for e in events)
    report = fleet_report(folder, list(DESKS))

rows = list(csv.DictReader(io.StringIO(report["csv"])))
got = [(row["host"], row["port"], row["result"]) for row in rows]
want = [(host, port, verdict) for host, (_, expected) in DESKS.items() for port, verdict in expected]
problems = [] if got == want else [f"rows {got}"]
if "4 desks, 1 not reached" not in report["summary"] or "did not run on 1 of the desks" not in report["summary"]:
    problems.append(f"summary {report['summary']}")
sys.exit("; ".join(problems) or None)
