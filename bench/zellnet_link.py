#!/usr/bin/env python3
"""zellnet reliable stream against plain TCP over the same emulated path, in the namespace
lab of tests/zellnet/netns (two homes behind NAT routers, vigil-hub on the public side,
`tc netem` on each router's public side, or where the kernel has no netem the lab's delay
box: a TUN device in pub that delays and drops every packet from either router).

usage: bench/zellnet_link.py BUILD_DIR      (as root; BUILD_DIR holds vigil-hub, zellnet-cat)

Measures, per path profile: goodput of a bulk transfer (receiver's first to last byte) and
the one-way latency of paced 1,000-byte messages, for zellnet-cat and for TCP (through a
port forward on router B, so both cross the same routers); and the time from NKConnect to
the connected event for two cone NATs and for the relay (two symmetric NATs).
"""
import json
import os
import socket
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "zellnet", "netns"))
import lab as netlab  # noqa: E402

MESSAGE = 1000
TCP_PORT = 5001


# --- helpers run inside the namespaces (this script, called with a helper name) -----------

def produce(out, bulk, count, rate):
    """Bulk bytes, or `count` stamped messages at `rate` per second."""
    if bulk:
        block = os.urandom(65536)
        left = bulk
        while left > 0:
            n = min(left, len(block))
            out.write(block[:n])
            left -= n
        return
    start = time.monotonic()
    for i in range(count):
        delay = start + i / rate - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        out.write(time.monotonic_ns().to_bytes(8, "little") + bytes(MESSAGE - 8))
        out.flush()


def consume(read, stamped):
    first = last = None
    total = 0
    pending = b""
    latencies = []
    arrivals = []  # (time, bytes so far), for the goodput of the second half
    while True:
        chunk = read(65536)
        if not chunk:
            break
        now = time.monotonic_ns()
        first = first or now
        last = now
        total += len(chunk)
        arrivals.append((now, total))
        if stamped:
            pending += chunk
            while len(pending) >= MESSAGE:
                latencies.append((now - int.from_bytes(pending[:8], "little")) / 1e6)
                pending = pending[MESSAGE:]
    seconds = (last - first) / 1e9 if first else 0
    half = next(((t, n) for t, n in arrivals if n >= total / 2), (last, total))
    second_half = (total - half[1]) / ((last - half[0]) / 1e9) if last != half[0] else 0
    print(json.dumps({"bytes": total, "seconds": seconds, "second_half": second_half, "latencies": latencies}))


def helper(name, args):
    if name == "source":
        produce(sys.stdout.buffer, int(args[0]), int(args[1]), float(args[2]))
    elif name == "sink":
        consume(sys.stdin.buffer.read1, args[0] == "1")
    elif name == "tcp-send":
        with socket.create_connection((args[0], TCP_PORT)) as s, s.makefile("wb") as out:
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            produce(out, int(args[1]), int(args[2]), float(args[3]))
    elif name == "tcp-recv":
        with socket.create_server(("0.0.0.0", TCP_PORT)) as server:
            print("ready", file=sys.stderr, flush=True)
            conn, _ = server.accept()
            with conn:
                consume(conn.recv, args[0] == "1")


# --- the orchestration -------------------------------------------------------------------------

def me(*args):
    return [sys.executable, os.path.abspath(__file__), "--helper", *args]


class Bench:
    def __init__(self, build, lab):
        self.build, self.lab = build, lab
        self.hub = lab.popen("pub", [os.path.join(build, "vigil-hub"), "--listen", netlab.PUB_IP,
                                     "--relay-rate", "100000000"], stderr=subprocess.DEVNULL)
        time.sleep(0.5)

    def close(self):
        self.hub.terminate()
        self.hub.wait()

    def cat(self, bulk, count=0, rate=0.0):
        """zellnet-cat B listening, A sending; returns (sink result, connect-to-linked ms, way)."""
        cat = os.path.join(self.build, "zellnet-cat")
        listener = self.lab.popen("b", [cat, "--server", netlab.PUB_IP, "--timeout", "300", "listen"],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        peer = listener.stderr.readline().decode().split()[-1]
        sink = self.lab.popen("b", me("sink", "0" if bulk else "1"), stdin=listener.stdout, stdout=subprocess.PIPE)
        listener.stdout.close()
        source = self.lab.popen("a", me("source", str(bulk), str(count), str(rate)), stdout=subprocess.PIPE)
        connector = self.lab.popen("a", [cat, "--server", netlab.PUB_IP, "--timeout", "300", "connect", peer],
                                   stdin=source.stdout, stderr=subprocess.PIPE)
        source.stdout.close()
        log = connector.communicate()[1].decode()
        listener.wait()
        result = json.loads(sink.communicate()[0])
        linked = next(line for line in log.splitlines() if "linked" in line).split()
        return result, int(linked[-2]), linked[2]

    def tcp(self, bulk, count=0, rate=0.0):
        receiver = self.lab.popen("b", me("tcp-recv", "0" if bulk else "1"), stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        receiver.stderr.readline()
        self.lab.popen("a", me("tcp-send", self.lab.homes["b"]["wan"], str(bulk), str(count), str(rate))).wait()
        return json.loads(receiver.communicate()[0])


def forward_tcp(lab):
    nat = lab.homes["b"]["nat"]
    lab.exec(nat, "iptables", "-t", "nat", "-A", "PREROUTING", "-i", "wan", "-p", "tcp", "--dport", str(TCP_PORT),
             "-j", "DNAT", "--to-destination", "10.2.0.2")
    lab.exec(nat, "iptables", "-I", "FORWARD", "-i", "wan", "-p", "tcp", "--dport", str(TCP_PORT), "-j", "ACCEPT")


def pct(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))]


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--helper":
        return helper(sys.argv[2], sys.argv[3:])
    build = os.path.abspath(sys.argv[1])
    reason = netlab.can_make_namespaces()
    if reason:
        print(f"cannot run: {reason}")
        return 1
    netem = netlab.has_netem()
    print("path: " + ("tc netem on each router's public side" if netem else
                      "tc netem is missing from this kernel; the lab's delay box (tests/zellnet/netns/delaybox.py)"))

    def emulate(lab, rtt, loss):
        """Half the round trip each way, `loss` percent each way; prints what the path measures."""
        if netem:
            lab.netem(rtt // 2, loss)
        else:
            lab.delay_box(rtt / 2, loss)
        print(f"path {loss}% / {rtt} ms: ping round trip {lab.ping_rtt('a')} ms; one-way loss "
              f"{lab.one_way_loss('a', 10000):.2%} of 10000 datagrams", flush=True)

    rows = []
    for loss, rtt, bulk in ((0, 20, 8_000_000), (1, 50, 1_500_000)):
        with netlab.Lab() as lab:
            forward_tcp(lab)
            emulate(lab, rtt, loss)
            bench = Bench(build, lab)
            try:
                z, _, way = bench.cat(bulk)
                t = bench.tcp(bulk)
                zl, _, _ = bench.cat(0, 300, 50)
                tl = bench.tcp(0, 300, 50)
            finally:
                bench.close()
            if not netem:
                print(f"delay box after {loss}% / {rtt} ms: {lab.stop_box()}", flush=True)
        zg, tg = z["bytes"] / z["seconds"] / 1000, t["bytes"] / t["seconds"] / 1000
        ceiling = 30 * 980 / (rtt / 1000) / 1000
        rows.append((loss, rtt, way, zg, z["second_half"] / 1000, tg, ceiling, zl["latencies"], tl["latencies"]))
    connects = {}
    for symmetric in (False, True):
        times = []
        with netlab.Lab(symmetric_a=symmetric, symmetric_b=symmetric) as lab:
            emulate(lab, 20, 0)
            bench = Bench(build, lab)
            try:
                for _ in range(1 if symmetric else 5):
                    _, ms, way = bench.cat(10_000)
                    times.append((ms, way))
            finally:
                bench.close()
        connects["symmetric" if symmetric else "cone"] = times

    print("| loss / RTT | path | zellnet goodput (second half) | TCP goodput | zellnet / TCP "
          "| zellnet / window ceiling (second half) "
          "| zellnet latency median / p99 | TCP latency median / p99 |")
    print("|---|---|---|---|---|---|---|---|")
    for loss, rtt, way, zg, zh, tg, ceiling, zl, tl in rows:
        print(f"| {loss}% / {rtt} ms | {way} | {zg:.0f} kB/s ({zh:.0f}) | {tg:.0f} kB/s | {zg / tg:.2f} | "
              f"{zg / ceiling:.0%} ({zh / ceiling:.0%}) of {ceiling:.0f} kB/s | "
              f"{statistics.median(zl):.1f} / {pct(zl, 0.99):.1f} ms | "
              f"{statistics.median(tl):.1f} / {pct(tl, 0.99):.1f} ms |")
    for kind, times in connects.items():
        print(f"connect ({kind} NATs, 20 ms RTT): " + ", ".join(f"{ms} ms {way}" for ms, way in times))
    return 0


if __name__ == "__main__":
    sys.exit(main())
