#!/usr/bin/python3
"""The shop service under load: qxrd driving many emulated controllers.

Starts N qxremu (default 16) at 9600 bit/s on pseudo-terminals, one qxrd on
127.0.0.1 with a machine on each, and through the API sends a 300-line
program to one machine alone (twice), then to all N at once (every POST, then the
job list polled until all have ended), twice: once with nothing else asked
of the service, once with GET /api/machines polled at a steady rate (50 a
second by default, as many as 50 open pages) and each reply's latency kept.
Reports:

  - the slowest of the N sends against the faster one alone, each from its job's
    "created" to its "ended" time (the service's clock, in milliseconds);
  - qxrd's processor time (utime + stime of /proc/PID/stat) as a share of
    one core over each run of N;
  - the latency of GET /api/machines under that load: median, 99th
    percentile, maximum.

    bench/bench_service.py [build-dir] [--machines N] [--lines N] [--json FILE]

Loopback only, standard library only, every wait bounded.
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
PASSWORD = "bench-password-1"
JOB_POLL_SECONDS = 0.25  # job list polls while waiting for the sends to end


def fail(message):
    raise SystemExit("bench-service: " + message)


class Api:
    def __init__(self, base):
        self.base = base
        self.token = None

    def call(self, method, path, body=None, timeout=10):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method)
        if data is not None:
            request.add_header("Content-Type", "application/json")
        if self.token:
            request.add_header("Authorization", "Bearer " + self.token)
        try:
            with urllib.request.urlopen(request, timeout=timeout) as reply:
                return reply.status, json.loads(reply.read() or b"{}")
        except urllib.error.HTTPError as error:
            return error.code, error.read().decode(errors="replace")


def program_text(lines):
    body = ["G01 X%d.250 Y-%d.500 F1200" % (n % 400, n % 250) for n in range(1, lines)]
    return "%\nO0012 (BENCH)\n" + "\n".join(body + ["M30"]) + "\n%\n"


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line; after the
    # command name's ")" they are the 12th and 13th.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def stamp(text):
    """Seconds of a job's time text, 2026-12-08T19:50:58.240Z."""
    clock = text.rstrip("Z").split("T")[1].split(":")
    return int(clock[0]) * 3600 + int(clock[1]) * 60 + float(clock[2])


def wait_ended(api, ids, deadline):
    """Polls the job list until every job of `ids` has ended; returns each
    one's wall time from created to ended (seconds) and its state."""
    seen = {}
    while len(seen) < len(ids):
        if time.monotonic() > deadline:
            fail("jobs %s did not end in time" % sorted(set(ids) - set(seen)))
        time.sleep(JOB_POLL_SECONDS)
        status, reply = api.call("GET", "/api/jobs")
        if status != 200:
            fail("GET /api/jobs: %s %s" % (status, reply))
        for job in reply["jobs"]:
            if job["id"] in ids and job["id"] not in seen and job["state"] not in ("queued", "running"):
                wall = (stamp(job["ended"]) - stamp(job["created"])) % 86400
                seen[job["id"]] = (wall, job["state"])
    return seen


def send_all(api, service, names, text, deadline):
    """Sends to every machine at once; returns the sorted wall times and
    qxrd's processor time and the run's wall time."""
    cpu_before, wall_before = cpu_seconds(service.pid), time.monotonic()
    ids = {send(api, name, text) for name in names}
    seen = wait_ended(api, ids, deadline)
    cpu, wall = cpu_seconds(service.pid) - cpu_before, time.monotonic() - wall_before
    failed = [job for job, (_, state) in seen.items() if state != "finished"]
    if failed:
        fail("%d of the %d sends did not finish" % (len(failed), len(names)))
    return sorted(wall for wall, _ in seen.values()), cpu, wall


def send(api, machine, text):
    status, reply = api.call("POST", "/api/machines/%s/send" % machine, {"number": 12, "name": "BENCH", "text": text})
    if status != 202:
        fail("send to %s: %s %s" % (machine, status, reply))
    return reply["job"]


class Poller(threading.Thread):
    """GET /api/machines at a steady rate, each reply's latency kept."""

    def __init__(self, api, interval):
        super().__init__(daemon=True)
        self.api, self.interval = api, interval
        self.latencies, self.errors = [], 0
        self.done = threading.Event()

    def run(self):
        while not self.done.is_set():
            start = time.monotonic()
            try:
                status, _ = self.api.call("GET", "/api/machines", timeout=5)
            except OSError:
                status = 0
            elapsed = time.monotonic() - start
            if status == 200:
                self.latencies.append(elapsed)
            else:
                self.errors += 1
            self.done.wait(max(0.0, self.interval - elapsed))


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))] if ordered else float("nan")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build-bench")
    parser.add_argument("--machines", type=int, default=16)
    parser.add_argument("--lines", type=int, default=300)
    parser.add_argument("--baud", type=int, default=9600)
    parser.add_argument("--poll-ms", type=float, default=20, help="interval of the GET /api/machines poll")
    parser.add_argument("--timeout", type=float, default=600, help="bound of the whole run, seconds")
    parser.add_argument("--json", help="write the figures here")
    args = parser.parse_args()
    emu = os.path.join(args.build, "tools/qxremu/qxremu")
    qxrd = os.path.join(args.build, "tools/qxrd/qxrd")
    for program in (emu, qxrd):
        if not os.access(program, os.X_OK):
            fail("build %s first" % program)
    deadline = time.monotonic() + args.timeout

    work = tempfile.mkdtemp(prefix="bench-service-")
    children = []
    try:
        for name in os.listdir(os.path.join(SOURCE, "data")):
            path = os.path.join(SOURCE, "data", name)
            if os.path.isfile(path):
                shutil.copy(path, work)
        names = ["M%02d" % n for n in range(1, args.machines + 1)]
        with open(os.path.join(work, "Machines.ini"), "w") as machines:
            for n, name in enumerate(names, 1):
                machines.write("[%s]\nmodel = QXR102\nversion = K\nport = COM%d\nbaud = %d\nmode = block\ntimeout = 3000\n\n"
                               % (name, n, args.baud))
        for n in range(1, args.machines + 1):
            children.append(subprocess.Popen(
                [emu, "--link", os.path.join(work, "COM%d" % n), "--model", "102", "--baud", str(args.baud),
                 "--store", os.path.join(work, "store%d" % n)], stdout=subprocess.DEVNULL))
        while not all(os.path.islink(os.path.join(work, "COM%d" % n)) for n in range(1, args.machines + 1)):
            if time.monotonic() > deadline:
                fail("the emulators did not start")
            time.sleep(0.05)

        environment = dict(os.environ, QXR_JOURNAL=os.path.join(work, "journal.db"))
        subprocess.run([qxrd, "--start-dir", work, "user", "add", "bench", "--role", "operator"],
                       input=PASSWORD + "\n", text=True, check=True, env=environment, stdout=subprocess.DEVNULL)
        service = subprocess.Popen([qxrd, "--start-dir", work, "--listen", "127.0.0.1:0"], env=environment,
                                   stdout=subprocess.PIPE, text=True)
        children.append(service)
        line = service.stdout.readline()  # qxrd: listening on http://127.0.0.1:PORT
        if "listening on http://" not in line:
            fail("qxrd did not start: %r" % line)
        # Keep reading its output so that it never blocks on a full pipe.
        threading.Thread(target=service.stdout.read, daemon=True).start()
        api = Api(line.strip().split("listening on ", 1)[1].rstrip("/"))
        status, reply = api.call("POST", "/api/login", {"user": "bench", "password": PASSWORD})
        if status != 200:
            fail("login: %s %s" % (status, reply))
        api.token = reply["token"]
        text = program_text(args.lines)

        # One send alone, twice; the faster is the reference (the first also
        # opens the journal and starts the machine's thread).
        singles = []
        for _ in range(2):
            job = send(api, names[0], text)
            wall, state = wait_ended(api, {job}, deadline)[job]
            if state != "finished":
                fail("the single send ended %s" % state)
            singles.append(wall)
        single = min(singles)

        # All at once, nothing else asked; then again with the machine list
        # polled meanwhile.
        walls, cpu, run = send_all(api, service, names, text, deadline)
        poller = Poller(Api(api.base), args.poll_ms / 1000)
        poller.api.token = api.token
        poller.start()
        polled_walls, polled_cpu, polled_run = send_all(api, service, names, text, deadline)
        poller.done.set()
        poller.join(10)
        figures = {
            "machines": args.machines, "lines": args.lines, "baud": args.baud,
            "single_s": single, "singles_s": singles, "fastest_s": walls[0], "slowest_s": walls[-1],
            "slowest_over_single": walls[-1] / single,
            "cpu_s": cpu, "run_s": run, "cpu_share": cpu / run,
            "polled_slowest_over_single": polled_walls[-1] / single,
            "polled_cpu_s": polled_cpu, "polled_run_s": polled_run, "polled_cpu_share": polled_cpu / polled_run,
            "polls": len(poller.latencies), "poll_errors": poller.errors, "poll_interval_ms": args.poll_ms,
            "latency_median_ms": 1000 * percentile(poller.latencies, 0.5),
            "latency_p99_ms": 1000 * percentile(poller.latencies, 0.99),
            "latency_max_ms": 1000 * max(poller.latencies, default=float("nan")),
            "load": open("/proc/loadavg").read().split()[:3],
        }
        print("service: one %d-line send at %d bit/s alone %.2f s (of %s); %d at once: fastest %.2f s, slowest %.2f s, "
              "ratio %.3f (target <= 1.05)" % (args.lines, args.baud, single, " and ".join("%.2f" % w for w in singles), args.machines, walls[0], walls[-1],
                                               figures["slowest_over_single"]))
        print("service: qxrd processor time %.2f s over %.1f s: %.1f %% of one core (target < 10 %%)"
              % (cpu, run, 100 * figures["cpu_share"]))
        print("service: the same with GET /api/machines every %g ms: ratio %.3f, qxrd %.1f %% of one core; "
              "%d replies, %d errors: median %.1f ms, 99th percentile %.1f ms (target < 50 ms), max %.1f ms "
              "(load %s)" % (args.poll_ms, figures["polled_slowest_over_single"], 100 * figures["polled_cpu_share"],
                             figures["polls"], poller.errors, figures["latency_median_ms"],
                             figures["latency_p99_ms"], figures["latency_max_ms"], " ".join(figures["load"])))
        if args.json:
            with open(args.json, "w") as out:
                json.dump(figures, out, indent=1)
    finally:
        for child in reversed(children):
            if child.poll() is None:
                child.send_signal(signal.SIGTERM)
        for child in reversed(children):
            try:
                child.wait(10)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
