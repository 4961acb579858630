"""A small internet in network namespaces: a public segment with the traversal server,
and two homes, each a host behind its own NAT router.

    host A 10.1.0.2 -- NAT A (10.1.0.1 | 100.64.0.2) --+-- pub 100.64.0.1 (vigil-hub)
    host B 10.2.0.2 -- NAT B (10.2.0.1 | 100.64.0.3) --+

The public segment is one /24 to the routers, but pub routes it (proxy ARP on both ports)
rather than bridging it, so packets between the homes cross pub's IP layer, where a delay
box can take them (`delay_box`, for kernels without netem).

The routers masquerade (with --random-fully: a symmetric NAT with random ports) and drop
whatever reaches themselves from the public side, as home routers do; otherwise an early
probe would open a conntrack entry that steals the port the host's own mapping needs.
Namespace names carry a per-run suffix, so parallel runs never meet. Run as root.
"""
import os
import random
import re
import socket
import subprocess
import sys
import time

PUB_IP = "100.64.0.1"
BOX_TABLE = "100"


class LabError(Exception):
    pass


def run(*args, check=True):
    result = subprocess.run(args, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise LabError(f"{' '.join(args)}: {result.stderr.strip()}")
    return result


class Lab:
    def __init__(self, symmetric_a=False, symmetric_b=False):
        tag = f"{os.getpid() % 100000}{random.randrange(1000)}"
        self.pub = f"zpub{tag}"
        self.homes = {
            "a": {"nat": f"znata{tag}", "host": f"zhosta{tag}", "wan": "100.64.0.2", "net": "10.1.0",
                  "symmetric": symmetric_a},
            "b": {"nat": f"znatb{tag}", "host": f"zhostb{tag}", "wan": "100.64.0.3", "net": "10.2.0",
                  "symmetric": symmetric_b},
        }
        self.made = []
        self.box = None
        self.box_rules = False

    def names(self):
        return [self.pub] + [h[k] for h in self.homes.values() for k in ("nat", "host")]

    def __enter__(self):
        try:
            self.build()
        except BaseException:
            self.remove()
            raise
        return self

    def __exit__(self, *exc):
        self.remove()

    def add(self, name):
        run("ip", "netns", "add", name)
        self.made.append(name)
        run("ip", "-n", name, "link", "set", "lo", "up")

    def build(self):
        for name in self.names():
            self.add(name)
        p = self.pub
        run("ip", "-n", p, "addr", "add", f"{PUB_IP}/32", "dev", "lo")
        self.exec(p, "sysctl", "-qw", "net.ipv4.ip_forward=1", "net.ipv4.conf.all.rp_filter=0")
        for side, home in self.homes.items():
            nat, host, net = home["nat"], home["host"], home["net"]
            run("ip", "-n", nat, "link", "add", "wan", "type", "veth", "peer", "name", f"to{side}", "netns", p)
            # Answer ARP for the whole segment at once (no proxy delay), and route each router's address.
            self.exec(p, "sysctl", "-qw", f"net.ipv4.conf.to{side}.proxy_arp=1",
                      f"net.ipv4.neigh.to{side}.proxy_delay=0", f"net.ipv4.conf.to{side}.rp_filter=0")
            run("ip", "-n", p, "link", "set", f"to{side}", "up")
            run("ip", "-n", p, "route", "add", f"{home['wan']}/32", "dev", f"to{side}")
            run("ip", "-n", nat, "addr", "add", f"{home['wan']}/24", "dev", "wan")
            run("ip", "-n", nat, "link", "set", "wan", "up")
            run("ip", "-n", nat, "link", "add", "lan", "type", "veth", "peer", "name", "eth0", "netns", host)
            run("ip", "-n", nat, "addr", "add", f"{net}.1/24", "dev", "lan")
            run("ip", "-n", nat, "link", "set", "lan", "up")
            run("ip", "-n", host, "addr", "add", f"{net}.2/24", "dev", "eth0")
            run("ip", "-n", host, "link", "set", "eth0", "up")
            run("ip", "-n", host, "route", "add", "default", "via", f"{net}.1")
            self.exec(nat, "sysctl", "-qw", "net.ipv4.ip_forward=1")
            masquerade = ["iptables", "-t", "nat", "-A", "POSTROUTING", "-o", "wan", "-j", "MASQUERADE"]
            self.exec(nat, *(masquerade + (["--random-fully"] if home["symmetric"] else [])))
            self.exec(nat, "iptables", "-A", "INPUT", "-i", "wan", "-j", "DROP")
            self.exec(nat, "iptables", "-A", "FORWARD", "-i", "wan", "-m", "conntrack", "--ctstate", "NEW",
                      "-j", "DROP")

    def remove(self):
        self.stop_box()
        for name in reversed(self.made):
            run("ip", "netns", "del", name, check=False)
        self.made = []

    def exec(self, ns, *args):
        return run("ip", "netns", "exec", ns, *args)

    def popen(self, ns, args, **kwargs):
        """A process inside namespace `ns` (a name, or 'a'/'b' for the hosts, 'pub')."""
        ns = self.resolve(ns)
        return subprocess.Popen(["ip", "netns", "exec", ns] + list(args), **kwargs)

    def resolve(self, ns):
        if ns == "pub":
            return self.pub
        if ns in self.homes:
            return self.homes[ns]["host"]
        return ns

    def netem(self, delay_ms, loss_percent):
        """Delay (one way, on each router's public side, so twice per crossing) and loss."""
        for home in self.homes.values():
            args = ["tc", "qdisc", "replace", "dev", "wan", "root", "netem", "delay", f"{delay_ms}ms"]
            if loss_percent:
                args += ["loss", f"{loss_percent}%"]
            self.exec(home["nat"], *args)


    def delay_box(self, delay_ms, loss_percent, seed=1, limit=10000):
        """The netem stand-in in pub: whatever comes in from either router (to the other router or
        to the hub) is held `delay_ms` and lost at `loss_percent`, as netem on each router's public
        side would do. Replies from the hub itself are not delayed, as with netem."""
        p = self.pub
        self.box = self.popen(p, [sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                                "delaybox.py"),
                                  "box", str(delay_ms), str(loss_percent), str(seed), str(limit)],
                              stdin=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if self.box.stderr.readline().strip() != "ready":
            raise LabError(f"delay box: {self.stop_box()}")
        run("ip", "-n", p, "link", "set", "box", "txqueuelen", str(limit), "up")
        self.exec(p, "sysctl", "-qw", "net.ipv4.conf.box.rp_filter=0")
        run("ip", "-n", p, "route", "add", "default", "dev", "box", "table", BOX_TABLE)
        if self.box_rules:
            return
        # Ahead of the local table, so packets for the hub take the detour too; what the box writes
        # back comes in on `box` and takes the ordinary tables. Without the box the table is empty
        # and the lookup falls through to them as well.
        for side in self.homes:
            run("ip", "-n", p, "rule", "add", "pref", "10", "iif", f"to{side}", "lookup", BOX_TABLE)
        run("ip", "-n", p, "rule", "add", "pref", "20", "lookup", "local")
        run("ip", "-n", p, "rule", "del", "pref", "0")
        self.box_rules = True

    def stop_box(self):
        """Stops the delay box (closing its input ends it); returns its last words (the counters)."""
        if not self.box:
            return ""
        box, self.box = self.box, None
        # Packets the kernel could not queue for the box (it fell behind) are lost as well.
        queue_drops = run("ip", "netns", "exec", self.pub, "cat", "/sys/class/net/box/statistics/tx_dropped",
                          check=False).stdout.strip()
        try:
            _, text = box.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            box.kill()
            _, text = box.communicate()
        return f"{text.strip()} queue-full {queue_drops or '?'}"

    def ping_rtt(self, side, count=20):
        """Mean ping round trip in ms from host `side` to the other router's public address (through
        both routers and pub, as a peer link goes), or None when every echo was lost."""
        other = self.homes["b" if side == "a" else "a"]
        self.exec(other["nat"], "iptables", "-I", "INPUT", "-i", "wan", "-p", "icmp", "--icmp-type", "echo-request",
                  "-j", "ACCEPT")
        try:
            out = run("ip", "netns", "exec", self.resolve(side), "ping", "-q", "-n", "-c", str(count), "-i", "0.05",
                      "-W", "2", other["wan"], check=False).stdout
        finally:
            self.exec(other["nat"], "iptables", "-D", "INPUT", "-i", "wan", "-p", "icmp", "--icmp-type",
                      "echo-request", "-j", "ACCEPT")
        match = re.search(r"= [\d.]+/([\d.]+)/", out)
        return float(match.group(1)) if match else None

    def one_way_loss(self, side, count=5000):
        """Fraction of `count` UDP datagrams from host `side` to the hub's address that never arrive."""
        port = "9"
        counter = self.popen("pub", [sys.executable, __file__, "udp-count", PUB_IP, port], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
        counter.stderr.readline()
        self.popen(side, [sys.executable, __file__, "udp-send", PUB_IP, port, str(count)]).wait()
        return 1 - int(counter.communicate()[0]) / count


def udp_count(ip, port):
    """Counts datagrams until none has come for a second."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        s.bind((ip, int(port)))
        s.settimeout(1.0)
        print("ready", file=sys.stderr, flush=True)
        received = 0
        try:
            while True:
                s.recv(2048)
                received += 1
        except socket.timeout:
            pass
        print(received)


def udp_send(ip, port, count):
    """`count` datagrams of 1,000 bytes at about 5,000 a second, so no queue on the way overflows."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        for i in range(int(count)):
            s.sendto(bytes(1000), (ip, int(port)))
            if i % 50 == 49:
                time.sleep(0.01)


def has_netem():
    """Whether this kernel has the netem queueing discipline."""
    name = f"znetem{os.getpid()}"
    try:
        run("ip", "netns", "add", name)
        return run("ip", "netns", "exec", name, "tc", "qdisc", "add", "dev", "lo", "root", "netem", "delay", "1ms",
                   check=False).returncode == 0
    finally:
        run("ip", "netns", "del", name, check=False)


def can_make_namespaces():
    """None when namespaces can be made here, else the reason."""
    if os.geteuid() != 0:
        return "not root"
    name = f"zprobe{os.getpid()}"
    try:
        run("ip", "netns", "add", name)
    except (LabError, FileNotFoundError) as error:
        return str(error)
    try:
        run("ip", "-n", name, "link", "add", "br0", "type", "bridge")
        run("ip", "netns", "exec", name, "iptables", "-t", "nat", "-L")
    except LabError as error:
        return str(error)
    finally:
        run("ip", "netns", "del", name, check=False)
    return None


if __name__ == "__main__":
    {"udp-count": udp_count, "udp-send": udp_send}[sys.argv[1]](*sys.argv[2:])
