"""The lab's delay box (the netem stand-in) delays and loses what it is told to, and the path is
clean again once it stops.

usage: delaybox_test.py        Exit 0 passed, 1 failed, 77 skipped (no namespaces can be made here).
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lab as netlab  # noqa: E402

SKIP = 77


def main():
    reason = netlab.can_make_namespaces() or (None if shutil.which("ping") else "no ping (iputils-ping)")
    if reason:
        print(f"SKIP: network namespaces cannot be made here ({reason})")
        return SKIP
    failures = []

    def check(condition, message):
        print(("ok: " if condition else "FAILED: ") + message)
        if not condition:
            failures.append(message)

    with netlab.Lab() as lab:
        lab.delay_box(30, 0)
        rtt = lab.ping_rtt("a")
        # Each way crosses the box once: 2 × 30 ms, plus a little for the script's wake-ups.
        check(rtt is not None and 60 <= rtt < 70, f"ping through a 30 ms box: {rtt} ms round trip")
        lab.stop_box()
        rtt = lab.ping_rtt("a")
        check(rtt is not None and rtt < 5, f"ping with the box stopped: {rtt} ms round trip")

        lab.delay_box(5, 20, seed=7)
        loss = lab.one_way_loss("a", 2000)
        counters = lab.stop_box()
        check(0.16 <= loss <= 0.24, f"20% loss box: {loss:.1%} of 2000 datagrams lost ({counters})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
