#!/usr/bin/env python3
"""Start-up cost that does not drift with the machine's load: the requests the main thread of one start
makes to the Wine server, for Sondrel and for the minimal window, before the main window is shown and from
then to its first wait for input. Wall time under Wine moves by half from run to run; these counts stay
within a few requests, so they compare builds.

Run inside a wine session (scripts/run-benchmarks does): startup_requests.py <folder of the built programs>.
The session's server is replaced by one that logs every request, and ended again afterwards."""
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SHOW_WINDOW = 0x40  # SWP_SHOWWINDOW in a set_window_pos request


def run_logged(programs, log_path):
    subprocess.run(["wineserver", "-k"], check=False)
    subprocess.run(["wineserver", "-w"], check=False)
    with open(log_path, "wb") as log:
        server = subprocess.Popen(["wineserver", "-f", "-d1"], stderr=log)
        time.sleep(1)
        try:
            # A first start of each, not counted, brings the desktop process up and the files into memory.
            for exe in programs + programs + programs:
                start = subprocess.Popen(["wine", exe], cwd=os.path.dirname(exe),
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(6)
                subprocess.run(["wine", "taskkill", "/im", os.path.basename(exe)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
                try:
                    start.wait(20)
                except subprocess.TimeoutExpired:
                    start.kill()
                time.sleep(1)
        finally:
            subprocess.run(["wineserver", "-k"], check=False)
            server.wait(30)


def counts(log_path, names):
    """Per start, in order: (program, requests before shown, shown to first wait, whole run)."""
    first_threads = []
    by_thread = collections.defaultdict(list)
    with open(log_path, errors="replace") as f:
        for line in f:
            m = re.match(r"^([0-9a-f]{4}): ([a-z_]+)\( ", line)
            if m:
                by_thread[m.group(1)].append(line)
            elif re.match(r"^[0-9a-f]{4}: init_first_thread\(\) = 0 .*info_size=0,", line):
                first_threads.append(line[:4])
    starts = []
    for t in first_threads:
        reqs = by_thread[t]
        name = next((n for n in names for r in reqs[:400] if n.lower() in r.lower()), None)
        if not name:
            continue
        shown = next((i for i, r in enumerate(reqs) if " set_window_pos( " in r and
                      int(re.search(r"swp_flags=([0-9a-f]+)", r).group(1), 16) & SHOW_WINDOW), None)
        if shown is None:
            continue
        idle = next((i for i, r in enumerate(reqs) if i > shown and " select( " in r and "timeout=infinite" in r),
                    len(reqs))
        starts.append((name, shown, idle - shown, len(reqs)))
    return starts


def main():
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    work = tempfile.mkdtemp(prefix="sondrel-requests-")
    try:
        # Sondrel runs from a folder of its own: its first start moves the default data files beside it.
        sondrel = os.path.join(work, "Sondrel.exe")
        shutil.copy(os.path.join(bin_dir, "Sondrel.exe"), sondrel)
        minimal = os.path.join(work, "minimal_window.exe")
        shutil.copy(os.path.join(bin_dir, "minimal_window.exe"), minimal)
        log = os.path.join(work, "server.log")
        run_logged([sondrel, minimal], log)
        starts = counts(log, ["Sondrel.exe", "minimal_window.exe"])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    by = collections.defaultdict(list)
    for name, before, after, total in starts[2:]:  # the first start of each is not counted
        by[name].append((before, after, total))
    if not by["Sondrel.exe"] or not by["minimal_window.exe"]:
        print("start-up requests: a window did not come up in the logged session")
        return 1
    print("start-up requests of the main thread to the Wine server (medians of %d starts each)"
          % min(len(v) for v in by.values()))
    med = {}
    for name in ("Sondrel.exe", "minimal_window.exe"):
        rows = sorted(by[name])
        med[name] = rows[len(rows) // 2]
        before, after, total = med[name]
        print("  %-20s before shown %5d   shown to first wait %5d   whole run %5d" % (name, before, after, total))
    s, m = med["Sondrel.exe"], med["minimal_window.exe"]
    print("  ratio before shown %.2f, to first wait %.2f" % (s[0] / m[0], (s[0] + s[1]) / (m[0] + m[1])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
