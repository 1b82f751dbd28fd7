"""Filters of the orvexa_fleet role: they read orvexa-cli's JSON events (docs/events.md) and merge the
desks' events into one report. Written in Python, as Ansible's own plugins are, so that the people who keep
the playbooks can read and change it without the C++ build."""

import csv
import io
import json
import os

HEADER = ["host", "port", "model", "firmware_before", "firmware_after", "package", "result", "elapsed_s"]


def _events(text):
    for line in (text or "").splitlines():
        line = line.strip()
        if line.startswith("{"):
            try:
                yield json.loads(line)
            except ValueError:
                continue


def _results(text):
    return [e for e in _events(text) if e.get("event") == "result"]


def port_options(ports):
    return [word for port in ports or [] for word in ("--port", port)]


def written_scanners(text):
    return [r.get("port", "") for r in _results(text) if r.get("verdict") == "written"]


def failed_scanners(text):
    return [f"{r.get('port', '')} ({r.get('why', r.get('outcome', ''))})" for r in _results(text)
            if r.get("verdict") == "failed"]


def _version(identity):
    # M307_200_A7UG -> 3.07: the firmware a package brings
    return f"{identity[1]}.{identity[2:4]}" if identity and len(identity) >= 4 else ""


def fleet_report(report_dir, hosts):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(HEADER)
    counts = {"written": 0, "already current": 0, "would write": 0, "failed": 0, "no scanner": 0}
    for host in hosts:
        path = os.path.join(report_dir, f"{host}.jsonl")
        if not os.path.exists(path):
            writer.writerow([host, "", "", "", "", "", "not reached", ""])
            continue
        with open(path, encoding="utf-8") as handle:
            events = list(_events(handle.read()))
        carried = next((e.get("carried_identity", "") for e in events if e.get("event") == "run_start"), "")
        for r in (e for e in events if e.get("event") == "result"):
            result = r.get("verdict", "")
            package = r.get("package", "")
            if result == "verified":
                target = _version(package or carried)
                result = "would write" if target and r.get("firmware_before") != target else "already current"
            counts[result] = counts.get(result, 0) + 1
            writer.writerow([host, r.get("port", ""), r.get("model", ""), r.get("firmware_before", ""),
                             r.get("firmware_after", ""), package, result,
                             f"{r.get('elapsed_ms', 0) / 1000:.1f}"])
    summary = (f"{len(hosts)} desks: {counts['written']} scanners written, {counts['already current']} already "
               f"current, {counts['would write']} would be written, {counts['failed']} failed, "
               f"{counts['no scanner']} ports without a scanner")
    return {"csv": out.getvalue(), "summary": summary, "counts": counts}


class FilterModule:
    def filters(self):
        return {
            "orvexa_port_options": port_options,
            "orvexa_written_scanners": written_scanners,
            "orvexa_failed_scanners": failed_scanners,
            "orvexa_fleet_report": fleet_report,
        }
