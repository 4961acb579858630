"""A userspace stand-in for `tc netem`: every packet the kernel routes into a TUN device is
held for a fixed one-way delay, or dropped at random, then written back into the TUN, where
it arrives as a received packet and is routed on by the main table. It works on IP packets,
so UDP and TCP see the same path.

usage: delaybox.py TUN DELAY_MS LOSS_PERCENT SEED LIMIT     (inside the router's namespace)

Creates TUN itself (it vanishes when the box exits), says "ready" on standard error once the
device exists, and exits when standard input closes, i.e. when whoever started it stops or
dies; on the way out it prints its counters on standard error.
"""
import collections
import fcntl
import os
import random
import select
import struct
import sys
import time

TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000
BURST = 256  # packets read per wake-up, so a flood cannot starve the releases


def open_tun(name):
    fd = os.open("/dev/net/tun", os.O_RDWR | os.O_NONBLOCK)
    fcntl.ioctl(fd, TUNSETIFF, struct.pack("16sH", name.encode(), IFF_TUN | IFF_NO_PI))
    return fd


def serve(tun, control, delay_s, loss, rng, limit):
    held = collections.deque()  # (release time, packet); one delay for all keeps it in order
    counts = {"passed": 0, "lost": 0, "overflow": 0}
    while True:
        timeout = max(0.0, held[0][0] - time.monotonic()) if held else None
        readable, _, _ = select.select([tun, control], [], [], timeout)
        if control in readable and not os.read(control, 4096):
            return counts
        if tun in readable:
            for _ in range(BURST):
                try:
                    packet = os.read(tun, 65536)
                except BlockingIOError:
                    break
                if loss and rng.random() < loss:
                    counts["lost"] += 1
                elif len(held) >= limit:
                    counts["overflow"] += 1
                else:
                    held.append((time.monotonic() + delay_s, packet))
        now = time.monotonic()
        while held and held[0][0] <= now:
            try:
                os.write(tun, held.popleft()[1])
                counts["passed"] += 1
            except OSError:
                counts["overflow"] += 1


def main():
    name, delay_ms, loss_percent, seed, limit = sys.argv[1:6]
    tun = open_tun(name)
    print("ready", file=sys.stderr, flush=True)
    counts = serve(tun, sys.stdin.fileno(), float(delay_ms) / 1000, float(loss_percent) / 100,
                   random.Random(int(seed)), int(limit))
    print(" ".join(f"{k} {v}" for k, v in counts.items()), file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()
