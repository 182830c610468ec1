"""--via through a real OpenSSH server: the client's namespace is linked to a
router namespace that runs sshd, whose other link (a bridge) holds the hosts
to wake. The client's ssh finds its configuration, key and known hosts in the
home directory its own password database names, as a user's would."""
import json
import os
import re
import signal
import subprocess
import tempfile
import time
import unittest

import nsutil

CLIENT, ROUTER = "10.77.1.1", "10.77.1.2"
HOSTILE = "-x;$(touch${IFS}%s)'\"`touch${IFS}%s`"
SSHD = """ListenAddress %s:%d
HostKey %s/hostkey
AuthorizedKeysFile %s/authorized_keys
UsePAM no
StrictModes no
PermitRootLogin prohibit-password
"""
CONFIG = """Host bare
  Port 2222
Host stranger
  UserKnownHostsFile ~/.ssh/empty
Host far stranger bare
  HostName %s
  User root
  IdentityFile ~/.ssh/id
  UserKnownHostsFile ~/.ssh/known
"""


class Via(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.nuvik, _ = nsutil.require(cls, "sshd", "ssh-keygen", "ss")
        cls.home = tempfile.mkdtemp(prefix="nuvik-via-")
        os.chmod(cls.home, 0o755)
        cls.addCleanup(subprocess.run, ["rm", "-rf", cls.home])
        cls.marker = os.path.join(cls.home, "ran")
        with open("/etc/passwd") as f:
            others = [line for line in f if not line.startswith("root:")]
        home = lambda who: "".join(["root:x:0:0:root:%s/%s:/bin/sh\n" % (cls.home, who)] + others)
        # The router: sshd on the client's link, the hosts to wake on br0.
        cls.lan = nsutil.Lan(cls, 3, etc={"passwd": home("remote")})
        cls.router = cls.lan.scanner
        cls.client = nsutil.Namespace(cls, etc={"passwd": home("local")})
        pair = "ip link add v0 netns %s type veth peer name v1 netns %s"
        nsutil.run(pair % (cls.client.name, cls.router.name))
        ends = ((cls.client, "v0", CLIENT), (cls.router, "v1", ROUTER))
        for ns, dev, ip in ends:
            ns.run("ip", "-batch", "-", input=nsutil.LINK_UP % (ip, 24, dev, dev))
        for ns, dev, _ in ends:
            ns.run("sh", "-c", nsutil.UNTIL_UP % (dev, "state UP"))
        keys = cls.path("keys")
        ssh = cls.path("local", ".ssh")
        os.makedirs(keys)
        os.makedirs(ssh)
        os.makedirs(cls.path("remote"))
        os.makedirs(cls.path("bin"))
        os.symlink(cls.nuvik, cls.path("bin", "nuvik"))
        for name in ("hostkey", "id"):
            nsutil.run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", cls.path("keys", name))
        os.rename(cls.path("keys", "id"), os.path.join(ssh, "id"))
        os.rename(cls.path("keys", "id.pub"), cls.path("keys", "authorized_keys"))
        with open(cls.path("keys", "hostkey.pub")) as f:
            known = ROUTER + " " + f.read()
        for name, text in (("known", known), ("empty", ""), ("config", CONFIG % ROUTER)):
            with open(os.path.join(ssh, name), "w") as f:
                f.write(text)
        os.makedirs("/run/sshd", exist_ok=True)  # sshd's privilege separation
        # Port 22 runs the build's nuvik; port 2222 has none in its PATH.
        for port, path in ((22, cls.path("bin") + ":/usr/bin:/bin"), (2222, "/usr/bin:/bin")):
            config = cls.path("keys", "sshd%d" % port)
            with open(config, "w") as f:
                f.write(SSHD % (ROUTER, port, keys, keys) + "SetEnv PATH=%s\n" % path)
            sshd = subprocess.Popen(cls.router.cmd("/usr/sbin/sshd", "-D", "-f", config))
            cls.addCleanup(sshd.wait, 10)
            cls.addCleanup(sshd.terminate)
            cls.sshd = sshd if port == 22 else cls.sshd
        for _ in range(100):  # until both listen
            if len(cls.router.run("ss -Htln").stdout.splitlines()) == 2:
                break
            time.sleep(0.05)
        with open(cls.path("book.ini"), "w") as f:
            f.write(
                "[list]\n0=alpha 10.66.0.10 026600000000\n1=bravo 10.66.0.11 02-66-00-00-00-01\n"
            )
            f.write(
                "2=gone 10.66.0.99 026600000009\n3=%s 10.66.0.12 026600000002\n" % cls.hostile()
            )

    @classmethod
    def path(cls, *parts):
        return os.path.join(cls.home, *parts)

    @classmethod
    def hostile(cls):
        return HOSTILE % (cls.marker, cls.marker)

    @classmethod
    def addCleanup(cls, function, *args):  # the namespaces live as long as the class
        cls.addClassCleanup(function, *args)

    def run_in(self, ns, *args, book="book.ini"):
        env = {"PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
        cmd = ns.cmd(self.nuvik, "--profile", self.path(book), *args)
        return nsutil.run(*cmd, check=False, env=env, cwd=self.home, timeout=60)

    def via(self, *args, host="far", book="book.ini"):
        return self.run_in(self.client, "--via", host, *args, book=book)

    def test_every_mode_prints_what_it_prints_on_the_machine_itself(self):
        # What comes back is a local run's: the same lines, the same status;
        # a send is the same datagram (br0's hosts are 10.66.0.10 to .12).
        rtt = lambda text: re.sub(r"[0-9.]+ ms|\"rtt_ms\":[0-9.]+", "RTT", text)
        profile = self.path("book.ini")
        for args, arrives in (
            (["--wake", "alpha", "-v"], [("10.66.0.1", "026600000000")]),
            (["-w", "bravo", "10.66.0.12", "--port=9", "--repeat=2"], []),
            (
                ["-v", "026600000001", "nonsense", "--to", "10.66.0.255"],
                [("10.66.0.1", "026600000001")],
            ),
            (["-v", profile], None),
            (["-w", "-v", "--", self.hostile()], [("10.66.0.1", "026600000002")]),
            (["-w", "alpha", "-i", "-x; $(touch %s)\n'\"" % self.marker], []),
            (["-w", "alpha", "-i", "br0"], [("10.66.0.1", "026600000000")]),
            (["-w", "alpha", "gone", "nowhere", "--wait=3"], None),
            (["--status", "--json"], []),
            (["--status", "bravo", "10.66.0.11", "026600000000", "nowhere"], []),
            (["--scan=10.66.0.8/29", "--json"], []),
            (["--scan=10.66.0.8/29"], []),
        ):
            results = []
            for run in (lambda: self.run_in(self.router, *args), lambda: self.via(*args)):
                sockets = [ns.receiver() for ns, _, _ in self.lan.hosts]
                result = run()
                got = [(src, payload) for s in sockets for src, _, _, payload in nsutil.received(s)]
                results.append((result.returncode, rtt(result.stdout), rtt(result.stderr), got))
            self.assertEqual(results[1], results[0], args)
            if arrives is None:
                continue
            wanted = [(src, nsutil.packet(mac)) for src, mac in arrives for _ in self.lan.hosts]
            self.assertEqual(sorted(results[1][3]), sorted(wanted), args)
            self.assertFalse(os.path.exists(self.marker), args)

    def test_scan_add_keeps_the_far_hosts_in_the_book_here(self):
        with open(self.path("local.ini"), "w") as f:
            f.write("[list]\n0=alpha 10.66.0.77 026600000000\n")
        result = self.via("--scan", "--add", "-i", "br0", book="local.ini")
        mine = [("10.66.0.%d" % (10 + i), "02660000000%d" % i) for i in range(3)]
        self.assertEqual(result.stdout, "".join("%s %s %s\n" % (ip, ip, mac) for ip, mac in mine))
        self.assertEqual(result.returncode, 0, result.stderr)
        added = "2 hosts added to %s, 1 updated, 0 known already" % self.path("local.ini")
        self.assertEqual(result.stderr.splitlines()[-1], "nuvik: " + added)
        with open(self.path("local.ini")) as f:
            book = f.read()
        for ip, mac in mine:
            self.assertIn("%s %s" % (ip, mac), book)

    def test_failures_in_words(self):
        for host, args, said in (
            ("stranger", ["-w", "alpha"], "the host key of stranger is not known here"),
            ("bare", ["-w", "alpha"], "there is no nuvik on bare"),
            ("far", ["-w", "alpha", "nowhere"], None),  # nowhere is told here; alpha woken there
        ):
            result = self.via(*args, host=host)
            lines = result.stderr.splitlines()
            if said:
                self.assertEqual((result.returncode, len(lines)), (2, 1), result.stderr)
                self.assertIn("nuvik: --via %s: %s" % (host, said), lines[0])
            else:
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn('"nowhere"', lines[0])

    def test_ctrl_c_ends_both_sides_and_a_lost_connection_is_told(self):
        listening = "ss -Huln sport = :4000"
        pipes = {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, "text": True}
        env = {"PATH": "/usr/bin:/bin"}
        cmd = self.client.cmd(self.nuvik, "--via", "far", "--listen")
        listener = subprocess.Popen(cmd, env=env, **pipes)
        for _ in range(100):
            if self.router.run(listening).stdout:
                break
            time.sleep(0.1)
        self.assertTrue(self.router.run(listening).stdout)
        listener.send_signal(signal.SIGINT)
        self.assertEqual(listener.wait(timeout=10), 130)
        time.sleep(0.5)
        self.assertEqual(self.router.run(listening).stdout, "")
        # The session's sshd goes while the other side waits.
        book = self.path("book.ini")
        cmd = self.client.cmd(self.nuvik, "-f", book, "--via", "far", "-w", "gone", "--wait=30")
        waiting = subprocess.Popen(cmd, env=env, **pipes)
        time.sleep(3)
        sessions = nsutil.run("ps", "--ppid", str(self.sshd.pid), "-o", "pid=").stdout.split()
        for pid in sessions:
            os.kill(int(pid), signal.SIGKILL)
        out, err = waiting.communicate(timeout=30)
        self.assertEqual((waiting.returncode, out), (2, ""), err)
        self.assertRegex(
            err,
            "^nuvik: --via far: the connection to far was lost while waiting: "
            "the wakes were sent, whether the hosts came up is not known",
        )


if __name__ == "__main__":
    unittest.main()
