#!/usr/bin/python3
"""scripts/shop-demo.sh as the README has it run: the two emulated machines
are served, the printed operator password logs in, a send to one machine
finishes and is in the journal, and SIGTERM ends the service and both
emulators, leaving no COM link behind.

    test_shop_demo.py SCRIPT BUILD-DIR START-DIR
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.request

DEADLINE_S = 90


def main():
    script, build, shop = sys.argv[1:4]
    shutil.rmtree(shop, ignore_errors=True)
    env = dict(os.environ, SHOP_DIR=shop, QXRD_LISTEN="127.0.0.1:0")
    demo = subprocess.Popen([script, build], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, start_new_session=True)
    deadline = time.monotonic() + DEADLINE_S
    timer = threading.Timer(DEADLINE_S, lambda: os.killpg(demo.pid, signal.SIGKILL))
    timer.start()
    output = []
    try:
        base = password = None
        for line in demo.stdout:
            output.append(line)
            found = re.search(r"operator / (\S+)", line)
            password = found.group(1) if found else password
            found = re.search(r"qxrd: listening on (http://\S+)", line)
            if found:
                base = found.group(1)
                break
        assert base and password, "the demonstration did not start:\n" + "".join(output)
        threading.Thread(target=lambda: output.extend(demo.stdout), daemon=True).start()

        def call(method, path, body=None, token=None):
            request = urllib.request.Request(base + path, method=method,
                                             data=None if body is None else json.dumps(body).encode())
            request.add_header("Content-Type", "application/json")
            if token:
                request.add_header("Authorization", "Bearer " + token)
            try:
                with urllib.request.urlopen(request, timeout=10) as reply:
                    return reply.status, json.loads(reply.read())
            except urllib.error.HTTPError as error:
                return error.code, error.read()

        status, login = call("POST", "/api/login", {"user": "operator", "password": password})
        assert status == 200, (status, login)
        token = login["token"]
        status, reply = call("GET", "/api/machines", token=token)
        machines = {machine["name"]: machine for machine in reply["machines"]}
        assert sorted(machines) == ["Lathe 1", "Mill 2"], reply
        assert [machines[name]["state"] for name in sorted(machines)] == ["idle", "idle"], reply

        status, reply = call("POST", "/api/machines/Mill%202/send",
                             {"number": 7, "name": "DEMO", "text": "G00 X0 Y0\nG01 X10 F100\nM30\n"}, token)
        assert status == 202, (status, reply)
        job = reply["job"]
        while True:
            assert time.monotonic() < deadline, "the send did not end"
            status, reply = call("GET", "/api/jobs/%d" % job, token=token)
            if reply["state"] not in ("queued", "running"):
                break
            time.sleep(0.1)
        assert reply["state"] == "finished", reply
        status, reply = call("GET", "/api/journal?machine=Mill%202", token=token)
        assert [(r["program"], r["result"]) for r in reply["records"]] == [(7, "finished")], reply
    finally:
        if demo.poll() is None:
            os.kill(demo.pid, signal.SIGTERM)
        code = demo.wait(30)
        timer.cancel()
    assert code == 143, "the demonstration ended with %s:\n%s" % (code, "".join(output))
    # Nothing of the demonstration is left running, and its links are gone.
    for _ in range(50):
        try:
            os.killpg(demo.pid, 0)
        except ProcessLookupError:
            break
        time.sleep(0.1)
    else:
        raise AssertionError("processes of the demonstration outlived it")
    assert not any(os.path.lexists(os.path.join(shop, name)) for name in ("COM1", "COM2"))


if __name__ == "__main__":
    main()
