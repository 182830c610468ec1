"""The scan of the attached links (--scan, --add), in namespaces of the test's own:
a bridge in the scanner's namespace and a namespace per host on it."""
import json
import os
import shutil
import tempfile
import unittest

import nsutil

NAMED = {0: "alpha.lan", 3: "delta.lan", 7: "hotel\x1b.lan"}
HOSTS = "127.0.0.1 localhost\n" + "".join("10.66.0.%d %s\n" % (10 + i, n) for i, n in NAMED.items())


class Scan(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.nuvik, _ = nsutil.require(cls, "setpriv", "sysctl")
        cls.home = tempfile.mkdtemp(prefix="nuvik-scan-")
        os.chmod(cls.home, 0o755)
        cls.bin = shutil.copy(cls.nuvik, cls.home)  # nobody must reach it
        cls.lan = nsutil.Lan(cls, 30, etc={"hosts": HOSTS, "nsswitch.conf": "hosts: files\n"})
        cls.lan.hosts[5][0].run("sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=1")

    @classmethod
    def addCleanup(cls, function, *args):  # the namespaces live as long as the class
        cls._cleanups_of_class = getattr(cls, "_cleanups_of_class", []) + [(function, args)]

    @classmethod
    def tearDownClass(cls):
        for function, args in reversed(getattr(cls, "_cleanups_of_class", [])):
            function(*args)
        shutil.rmtree(cls.home, True)

    def scan(self, *args, user=nsutil.NOBODY):
        env = {"PATH": "/usr/bin:/bin", "HOME": self.home, "LANG": "C.UTF-8"}
        return self.lan.scanner.run(*user, self.bin, *args, check=False, env=env)

    def expected(self, first=0, last=29, esc="\\x1b"):  # a control byte in a name is shown escaped
        return [
            "%s %s %s" % (NAMED.get(i, ip).replace("\x1b", esc), ip, mac)
            for i, (_, ip, mac) in enumerate(self.lan.hosts)
            if first <= i <= last
        ]

    def test_every_host_of_the_link_as_nobody_in_text_and_json(self):
        result = self.scan("--scan")
        self.assertEqual(
            (result.returncode, result.stdout.splitlines()), (0, self.expected()), result.stderr
        )
        self.assertIn("30 hosts found among 253 addresses", result.stderr)
        lines = [json.loads(line) for line in self.scan("--scan", "--json").stdout.splitlines()]
        self.assertEqual(
            ["%(name)s %(ip)s %(mac)s" % line for line in lines], self.expected(esc="\x1b")
        )
        self.assertEqual({line["interface"] for line in lines}, {"br0"})

    def test_a_subrange_and_ranges_off_the_link(self):
        result = self.scan("--scan=10.66.0.16/29", "--interface=br0")
        self.assertEqual(
            (result.returncode, result.stdout.splitlines()),
            (0, self.expected(6, 13)),
            result.stderr,
        )
        for arg, why in (
            ("--scan=10.67.0.0/24", "lies on no attached link"),
            ("--scan -i lo", "no such interface that is up"),
            ("--scan=10.0.0.0/8", "at most a /16"),
            ("--scan=10.66.0.300", "not an IPv4"),
        ):
            result = self.scan(*arg.split())
            self.assertEqual((result.returncode, result.stdout), (2, ""), arg)
            self.assertIn(why, result.stderr)
        result = self.scan("--scan=10.66.0.128/28")  # on the link, and nobody there
        self.assertEqual((result.returncode, result.stdout), (1, ""), result.stderr)

    def test_a_nearly_full_neighbour_table_slows_the_scan_and_is_told(self):
        # The table's limit is the machine's: another namespace's entries count.
        crowd = nsutil.Namespace(self)
        crowd.run("ip link add d0 type veth peer name d1")
        entries = "".join(
            "neigh add 10.200.%d.%d lladdr 02:00:00:00:%02x:%02x dev d0 nud permanent\n"
            % (i // 250, 1 + i % 250, i // 250, i % 250)
            for i in range(1010)
        )
        try:
            crowd.run("ip", "-batch", "-", input=entries)
            result = self.scan("--scan=10.66.0.8/29", "--json")
        finally:
            crowd.run("ip link delete d0")
        found = [
            "%(name)s %(ip)s %(mac)s" % json.loads(line) for line in result.stdout.splitlines()
        ]
        self.assertEqual((result.returncode, found), (0, self.expected(0, 5)), result.stderr)
        self.assertIn("net.ipv4.neigh.default.gc_thresh3", result.stderr)

    def test_add_keeps_new_hosts_once(self):
        book = tempfile.mkdtemp(dir=self.home)
        os.chmod(book, 0o777)
        path = os.path.join(book, "site.ini")
        # Host 2 known under another name; "delta.lan" stands for another machine and is replaced.
        with open(path, "w") as f:
            f.write(
                "[list]\r\n0=old 10.66.0.12 %s\r\n1=delta.lan 10.9.9.9 0A0B0C0D0E0F\r\n"
                % self.lan.hosts[2][2]
            )
        os.chmod(path, 0o666)
        result = self.scan("--scan=10.66.0.12/30", "--add", "--profile", path)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("3 hosts added to %s, 1 known already" % path, result.stderr)
        after = open(path, "rb").read()
        self.assertEqual(
            after.decode().split("\r\n"),
            [
                "[list]",
                "0=10.66.0.15 10.66.0.15 %s" % self.lan.hosts[5][2],
                "1=10.66.0.14 10.66.0.14 %s" % self.lan.hosts[4][2],
                "2=delta.lan 10.66.0.13 %s" % self.lan.hosts[3][2],
                "3=old 10.66.0.12 %s" % self.lan.hosts[2][2],
                "",
            ],
        )
        kept = os.stat(path)
        self.assertEqual(kept.st_mode & 0o777, 0o666)
        result = self.scan("--scan=10.66.0.12/30", "--add", "--profile", path)
        self.assertIn("0 hosts added to %s, 4 known already" % path, result.stderr)
        self.assertEqual(
            (open(path, "rb").read(), os.stat(path).st_ino), (after, kept.st_ino)
        )  # not even rewritten
        # A book that can't be read is never written, and nothing is scanned for it.
        os.chmod(path, 0o200)
        result = self.scan("--scan", "--add", "--profile", path)
        self.assertEqual((result.returncode, result.stdout), (2, ""), result.stderr)
        self.assertIn("Permission denied", result.stderr)
        os.chmod(path, 0o666)
        self.assertEqual(open(path, "rb").read(), after)


if __name__ == "__main__":
    unittest.main()
