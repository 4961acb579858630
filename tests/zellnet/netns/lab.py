"""A small internet in network namespaces: a public segment with the traversal server,
and two homes, each a host behind its own NAT router.

    host A 10.1.0.2 -- NAT A (10.1.0.1 | 100.64.0.2) --+-- pub 100.64.0.1 (vigil-hub)
    host B 10.2.0.2 -- NAT B (10.2.0.1 | 100.64.0.3) --+

The routers masquerade (with --random-fully: a symmetric NAT with random ports) and drop
whatever reaches themselves from the public side, as home routers do; otherwise an early
probe would open a conntrack entry that steals the port the host's own mapping needs.
Namespace names carry a per-run suffix, so parallel runs never meet. Run as root.
"""
import os
import random
import subprocess

PUB_IP = "100.64.0.1"


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
        run("ip", "-n", p, "link", "add", "br0", "type", "bridge")
        run("ip", "-n", p, "addr", "add", f"{PUB_IP}/24", "dev", "br0")
        run("ip", "-n", p, "link", "set", "br0", "up")
        for side, home in self.homes.items():
            nat, host, net = home["nat"], home["host"], home["net"]
            run("ip", "-n", nat, "link", "add", "wan", "type", "veth", "peer", "name", f"to{side}", "netns", p)
            run("ip", "-n", p, "link", "set", f"to{side}", "master", "br0", "up")
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
