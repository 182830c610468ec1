"""--status as an ordinary user, who may send no ICMP in a fresh
namespace: hosts on the link answer by their neighbour entries, a host behind
a gateway by TCP."""
import json
import os
import time
import unittest

import nsutil

BOOK = "[list]\n0=nas 10.77.1.2 020000000001\n1=quiet 10.77.2.2 020000000002\n"
BOOK += "2=gone 10.77.1.99 020000000003\n3=nowhere 0.0.0.0 020000000004\n"
BOOK += "4=far 10.88.0.5 020000000005\n5=caf\xe9\x1b 10.88.0.9 020000000006\n"


class Status(unittest.TestCase):
    def setUp(self):
        nuvik, _ = nsutil.require(self, "setpriv", "sysctl")
        self.dir, self.nuvik = nsutil.tempdir(self, "nuvik-status-", nuvik)
        with open(os.path.join(self.dir, "book.ini"), "wb") as f:
            f.write(BOOK.encode("latin-1"))
        # b answers echo; c ignores it, and holds 10.88.0.5, the way to 10.88.0.0/16.
        self.net = nsutil.Net(self, links=2, default=False)
        self.net.c.run("sysctl -qw net.ipv4.icmp_echo_ignore_all=1")
        self.net.c.run("ip addr add 10.88.0.5/32 dev lo")
        self.net.b.run("ip link set pb address 02:00:00:00:00:01")
        self.net.c.run("ip link set pc address 02:00:00:00:00:02")
        # 10.99.0.1, behind b, answers echo.
        self.net.b.run("ip addr add 10.99.0.1/32 dev lo")
        self.net.sender.run("ip route add 10.99.0.0/16 via " + self.net.B)

    def nuvik_cmd(self, *args, nobody=True):
        book = os.path.join(self.dir, "book.ini")
        who = nsutil.NOBODY if nobody else []
        return self.net.sender.cmd(*who, self.nuvik, "--profile", book, *args)

    def status(self, *args, nobody=True, **kw):
        return nsutil.run(*self.nuvik_cmd("--status", *args, nobody=nobody), check=False, **kw)

    def test_status_of_the_book_and_of_hosts_asked(self):
        result = self.status("--json")
        self.assertEqual(result.returncode, 1, result.stderr)
        lines = [json.loads(line) for line in result.stdout.splitlines()]
        states = "nas up neighbour,quiet up neighbour,gone down neighbour,nowhere unknown None,"
        states += "far up tcp,caf\xe9\x1b down tcp"
        self.assertEqual(",".join("%(name)s %(state)s %(how)s" % l for l in lines), states)
        os.chmod(os.path.join(self.dir, "book.ini"), 0)
        self.assertEqual(self.status().returncode, 2)

    def test_up_means_it_answered_now(self):
        # As root, with the datagram echo socket refused: the raw one.
        self.net.sender.run("sysctl", "-qw", "net.ipv4.ping_group_range=1 0")

        def status(*hosts, nobody=False):
            result = self.status("--json", *hosts, nobody=nobody)
            return ["%(state)s %(how)s" % json.loads(line) for line in result.stdout.splitlines()]

        self.assertEqual(
            status("10.99.0.1", "nas", "quiet"), ["up echo", "up echo", "up neighbour"]
        )
        # nas leaves; its neighbour entry, still reachable from before, is no answer.
        self.net.b.run("ip addr del 10.77.1.2/24 dev pb")
        time.sleep(5)
        self.assertEqual(status("nas") + status("nas", nobody=True), ["down echo", "unknown None"])
        # Another machine holds nas's address.
        self.net.sender.run("ip neigh flush dev sb")
        self.net.b.run("ip link set pb address 02:00:00:00:00:07")
        self.net.b.run("ip addr add 10.77.1.2/24 dev pb")
        held = json.loads(self.status("--json", "nas").stdout)
        self.assertEqual((held["state"], held["held_by"]), ("down", "020000000007"))


if __name__ == "__main__":
    unittest.main()
