"""zellnet-cat between two hosts through vigil-hub: on loopback, and across real NAT routers
in network namespaces (direct through two cone NATs, relayed through two symmetric ones).

usage: zellnet_cat_test.py HUB CAT loopback|netns
Exit 0 passed, 1 failed, 77 skipped (no namespaces can be made here).
"""
import filecmp
import os
import random
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lab as netlab  # noqa: E402

SKIP = 77


class Failed(Exception):
    pass


def wait_for_line(path, pattern, process, timeout_s):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        with open(path, errors="replace") as f:
            match = re.search(pattern, f.read())
        if match:
            return match
        if process.poll() is not None:
            break
        time.sleep(0.05)
    with open(path, errors="replace") as f:
        raise Failed(f"no line matching {pattern!r} in:\n{f.read()}")


class Transfer:
    """A hub, a listener and a connecting zellnet-cat; `spawn(where, argv, **kw)` starts one."""

    def __init__(self, hub, cat, spawn, hub_where, hub_ip, work):
        self.hub, self.cat, self.spawn, self.work = hub, cat, spawn, work
        self.hub_ip = hub_ip
        self.hub_log = os.path.join(work, "hub.log")
        self.processes = []
        with open(self.hub_log, "w") as log:
            self.hub_process = self.start(hub_where, [hub, "--listen", hub_ip], stderr=log)
        wait_for_line(self.hub_log, "listening", self.hub_process, 10)

    def start(self, where, argv, **kwargs):
        process = self.spawn(where, argv, **kwargs)
        self.processes.append(process)
        return process

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def run(self, size, listen_where, connect_where, extra=(), timeout_s=60):
        """Sends `size` random bytes; returns (connect rc, listener rc, connect log, listen log)."""
        source = os.path.join(self.work, "in.bin")
        received = os.path.join(self.work, "out.bin")
        with open(source, "wb") as f:
            f.write(random.randbytes(size))
        listen_log = os.path.join(self.work, "listen.log")
        connect_log = os.path.join(self.work, "connect.log")
        with open(received, "wb") as out, open(listen_log, "w") as log:
            listener = self.start(listen_where, [self.cat, "--server", self.hub_ip, "--timeout", str(timeout_s),
                                                 "listen"], stdout=out, stderr=log)
        peer_id = wait_for_line(listen_log, r"id ([0-9a-f]+@[0-9a-f]+)", listener, 10).group(1)
        with open(source, "rb") as data, open(connect_log, "w") as log:
            connector = self.start(connect_where, [self.cat, "--server", self.hub_ip, "--timeout", str(timeout_s),
                                                   "connect", peer_id, *extra], stdin=data, stderr=log)
        connect_rc = connector.wait(timeout_s + 10)
        listen_rc = listener.wait(timeout_s + 10)
        texts = [open(p, errors="replace").read() for p in (connect_log, listen_log)]
        same = filecmp.cmp(source, received, shallow=False)
        return connect_rc, listen_rc, texts[0], texts[1], same


def check(condition, message):
    if not condition:
        raise Failed(message)


def expect_transfer(transfer, size, way, listen_where, connect_where, extra=(), timeout_s=60):
    connect_rc, listen_rc, connect_text, listen_text, same = transfer.run(size, listen_where, connect_where, extra,
                                                                         timeout_s)
    logs = f"\n--- connect\n{connect_text}--- listen\n{listen_text}"
    check(connect_rc == 0 and listen_rc == 0, f"exit codes {connect_rc}/{listen_rc}{logs}")
    check(same, "the received file differs" + logs)
    check(f"linked {way}" in connect_text and f"linked {way}" in listen_text, f"not {way}{logs}")
    check(f"sent {size} bytes" in connect_text and f"received {size} bytes" in listen_text, "figures" + logs)
    print(f"ok: {size} bytes {way}: " + re.search(r"linked .*", connect_text).group(0))


def loopback(hub, cat, work):
    hub_ip = f"127.{random.randrange(1, 255)}.{random.randrange(256)}.{random.randrange(2, 255)}"
    spawn = lambda where, argv, **kw: subprocess.Popen(argv, **kw)  # noqa: E731
    transfer = Transfer(hub, cat, spawn, None, hub_ip, work)
    try:
        expect_transfer(transfer, 1_500_000, "direct", None, None)
        # A peer that is not there: a clear message and a non-zero exit.
        log = os.path.join(work, "gone.log")
        with open(log, "w") as f:
            gone = transfer.start(None, [cat, "--server", hub_ip, "connect", "1234@5678"], stdin=subprocess.DEVNULL,
                                  stderr=f)
        rc = gone.wait(30)
        text = open(log).read()
        check(rc == 1 and "error: no link: 对方下线" in text, f"unknown peer: rc {rc}: {text}")
        usage = subprocess.run([cat, "connect"], capture_output=True, text=True)
        check(usage.returncode == 2 and "usage" in usage.stderr, "usage")
    finally:
        transfer.close()


def netns(hub, cat, work):
    reason = netlab.can_make_namespaces()
    if reason:
        print(f"SKIP: network namespaces cannot be made here ({reason})")
        return SKIP
    for symmetric, way, size in ((False, "direct", 2_000_000), (True, "relayed", 500_000)):
        with netlab.Lab(symmetric_a=symmetric, symmetric_b=symmetric) as lab:
            spawn = lambda where, argv, **kw: lab.popen(where, argv, **kw)  # noqa: E731
            transfer = Transfer(hub, cat, spawn, "pub", netlab.PUB_IP, work)
            try:
                expect_transfer(transfer, size, way, "b", "a")
                if not symmetric:
                    # Relaying refused: the same homes still link directly.
                    expect_transfer(transfer, 100_000, "direct", "b", "a", extra=("--no-relay",))
            finally:
                transfer.close()
    return 0


def main():
    hub, cat, mode = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as work:
        try:
            return loopback(hub, cat, work) or 0 if mode == "loopback" else netns(hub, cat, work)
        except (Failed, netlab.LabError, subprocess.TimeoutExpired) as error:
            print(f"FAILED: {error}")
            return 1


if __name__ == "__main__":
    sys.exit(main())
