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


def _result(r):
    """A result's verdict as the report names it: under --check, whether the run would write the scanner."""
    verdict = r.get("verdict", "")
    if verdict == "verified" and "would_write" in r:
        return "would write" if r["would_write"] else "already current"
    return verdict


def fleet_report(report_dir, hosts):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(HEADER)
    counts = dict.fromkeys(["written", "already current", "would write", "failed", "no scanner", "did not run"], 0)
    not_reached = 0
    for host in hosts:
        path = os.path.join(report_dir, f"{host}.jsonl")
        if not os.path.exists(path):
            not_reached += 1
            writer.writerow([host, "", "", "", "", "", "not reached", ""])
            continue
        with open(path, encoding="utf-8") as handle:
            events = list(_events(handle.read()))
        results = [e for e in events if e.get("event") == "result"]
        if not results:
            # Still one row for the desk: a run that found no port at all, or orvexa-cli that never started
            # (not installed, misused), which leaves no event.
            ran = any(e.get("event") == "run_end" for e in events)
            results = [{"verdict": "no scanner" if ran else "did not run"}]
        for r in results:
            result = _result(r)
            counts[result] = counts.get(result, 0) + 1
            writer.writerow([host, r.get("port", ""), r.get("model", ""), r.get("firmware_before", ""),
                             r.get("firmware_after", ""), r.get("package", ""), result,
                             f"{r.get('elapsed_ms', 0) / 1000:.1f}"])
    summary = (f"{len(hosts)} desks, {not_reached} not reached: {counts['written']} scanners written, "
               f"{counts['already current']} already current, {counts['would write']} would be written, "
               f"{counts['failed']} failed, {counts['no scanner']} ports without a scanner")
    if counts["did not run"]:
        summary += f"; orvexa-cli did not run on {counts['did not run']} of the desks"
    return {"csv": out.getvalue(), "summary": summary, "counts": counts}


class FilterModule:
    def filters(self):
        return {
            "orvexa_port_options": port_options,
            "orvexa_written_scanners": written_scanners,
            "orvexa_failed_scanners": failed_scanners,
            "orvexa_fleet_report": fleet_report,
        }
