"""The scan of the attached links (--scan, --add), in namespaces of the test's own:
a bridge in the scanner's namespace and a namespace per host on it."""
import json
import os
import subprocess
import tempfile
import unittest

import nsutil

NAMED = {0: "alpha.lan", 3: "delta.lan", 7: "hotel\x1b.lan"}
HOSTS = "127.0.0.1 localhost\n" + "".join("10.66.0.%d %s\n" % (10 + i, n) for i, n in NAMED.items())


class Scan(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.nuvik, _ = nsutil.require(cls, "setpriv", "sysctl")
        cls.home, cls.bin = nsutil.tempdir(cls, "nuvik-scan-", cls.nuvik)
        cls.lan = nsutil.Lan(cls, 30, etc={"hosts": HOSTS, "nsswitch.conf": "hosts: files\n"})
        cls.lan.hosts[5][0].run("sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=1")

    @classmethod
    def addCleanup(cls, function, *args):  # the namespaces live as long as the class
        cls.addClassCleanup(function, *args)

    def scan(self, *args, wait=True):
        """nuvik run by nobody in the scanner's namespace: its result, or the process."""
        cmd = self.lan.scanner.cmd(*nsutil.NOBODY, self.bin, *args)
        env = nsutil.ENV | {"HOME": self.home}
        if wait:
            return nsutil.run(*cmd, check=False, env=env)
        return subprocess.Popen(
            cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True
        )

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
        ):
            result = self.scan(*arg.split())
            self.assertEqual((result.returncode, result.stdout), (2, ""), arg)
            self.assertIn(why, result.stderr)
        result = self.scan("--scan=10.66.0.128/28")  # on the link, and nobody there
        self.assertEqual((result.returncode, result.stdout), (1, ""), result.stderr)
        self.assertIn("0 hosts found among 16 addresses", result.stderr)

    def book(self, text):
        folder = tempfile.mkdtemp(dir=self.home)
        os.chmod(folder, 0o777)
        path = os.path.join(folder, "site.ini")
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, 0o666)
        return path

    def test_add_keeps_every_entry_and_settles(self):
        # Host 2 moved here from 10.66.0.99; "delta.lan" is another machine's name already.
        mac = [h[2] for h in self.lan.hosts]
        path = self.book(
            "[list]\r\n0=old 10.66.0.99 %s\r\n1=delta.lan 10.9.9.9 0A0B0C0D0E0F\r\n" % mac[2]
        )
        result = self.scan("--scan=10.66.0.12/30", "--add", "--profile", path)
        self.assertEqual(result.returncode, 0, result.stderr)
        after = nsutil.read(path)
        entries = (
            "0=10.66.0.15 10.66.0.15 %s|1=10.66.0.14 10.66.0.14 %s|2=delta.lan-2 10.66.0.13 %s|"
        )
        entries += "3=old 10.66.0.12 %s|4=delta.lan 10.9.9.9 0A0B0C0D0E0F"
        self.assertEqual(
            after.decode(),
            "[list]\r\n"
            + (entries % (mac[5], mac[4], mac[3], mac[2])).replace("|", "\r\n")
            + "\r\n",
        )
        kept = os.stat(path)
        self.assertEqual(kept.st_mode & 0o777, 0o666)
        self.scan("--scan=10.66.0.12/30", "--add", "--profile", path)
        self.assertEqual((nsutil.read(path), os.stat(path).st_ino), (after, kept.st_ino))
        # A book that can't be read is never written, and nothing is scanned for it.
        os.chmod(path, 0o200)
        result = self.scan("--scan", "--add", "--profile", path)
        self.assertEqual((result.returncode, result.stdout), (2, ""), result.stderr)
        os.chmod(path, 0o666)
        self.assertEqual(nsutil.read(path), after)

    def test_two_runs_at_once_both_keep_their_hosts(self):
        for _ in range(10):
            path = self.book("")
            ranges = ("10.66.0.8/30", "10.66.0.16/30")
            runs = [self.scan("--scan=" + r, "--add", "-f", path, wait=False) for r in ranges]
            said = [run.communicate(timeout=60)[1] for run in runs]
            self.assertEqual([run.returncode for run in runs], [0, 0], said)
            stored = sorted(
                line.split()[1] for line in nsutil.read(path).decode().split("\r\n")[1:] if line
            )
            self.assertEqual(stored, ["10.66.0.%d" % n for n in (10, 11, 16, 17, 18, 19)])


if __name__ == "__main__":
    unittest.main()
