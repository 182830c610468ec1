"""--via through a real OpenSSH server: the client's namespace is linked to a
router namespace that runs sshd, whose other link (a bridge) holds the hosts
to wake. The client's ssh finds its configuration, key and known hosts in the
home directory its own password database names, as a user's would."""
import os
import re
import signal
import subprocess
import tempfile
import time
import unittest

import nsutil

ROUTER = "10.77.1.2"
SSHD = (
    "ListenAddress %s:%d\nHostKey %s/key\nAuthorizedKeysFile %s/id.pub\nUsePAM no\nStrictModes no\n"
)
CONFIG = """Host bare
  Port 2222
Host stranger
  UserKnownHostsFile ~/.ssh/none
Host *
  HostName %s
  User root
  IdentityFile ~/.ssh/id
  UserKnownHostsFile ~/.ssh/known
"""


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


class Via(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.nuvik, _ = nsutil.require(cls, "sshd", "ssh-keygen", "ss")
        cls.home = home = tempfile.mkdtemp(prefix="nuvik-via-")
        cls.addClassCleanup(subprocess.run, ["rm", "-rf", home])
        for path in ("/local/.ssh", "/remote", "/bin"):
            os.makedirs(home + path)
        os.symlink(cls.nuvik, home + "/bin/nuvik")
        with open("/etc/passwd") as f:
            others = "".join(line for line in f if not line.startswith("root:"))
        etc = lambda who: {"passwd": "root:x:0:0::%s/%s:/bin/sh\n%s" % (home, who, others)}
        cls.addCleanup = cls.addClassCleanup  # the namespaces live as long as the class
        cls.lan = nsutil.Lan(cls, 3, etc=etc("remote"))  # hosts 10.66.0.10 to .12 on br0
        cls.router, cls.client = cls.lan.scanner, nsutil.Namespace(cls, etc=etc("local"))
        pair = (cls.client.name, cls.router.name)
        nsutil.run("ip link add v0 netns %s type veth peer name v1 netns %s" % pair)
        for ns, dev, ip in ((cls.client, "v0", "10.77.1.1"), (cls.router, "v1", ROUTER)):
            ns.run("ip", "-batch", "-", input=nsutil.LINK_UP % (ip, 24, dev, dev))
        cls.client.run("sh", "-c", nsutil.UNTIL_UP % ("v0", "state UP"))
        ssh = home + "/local/.ssh/"
        for key in (home + "/key", ssh + "id"):
            nsutil.run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key)
        with open(home + "/key.pub") as key:
            write(ssh + "known", ROUTER + " " + key.read())
        write(ssh + "config", CONFIG % ROUTER)
        os.makedirs("/run/sshd", exist_ok=True)  # sshd's privilege separation
        # Port 22 runs the build's nuvik; port 2222 has none in its PATH.
        for port, path in ((22, home + "/bin:/usr/bin:/bin"), (2222, "/usr/bin:/bin")):
            config = "%s/sshd%d" % (home, port)
            write(config, SSHD % (ROUTER, port, home, ssh) + "SetEnv PATH=%s\n" % path)
            sshd = subprocess.Popen(cls.router.cmd("/usr/sbin/sshd", "-D", "-f", config))
            cls.addClassCleanup(sshd.wait, 10)
            cls.addClassCleanup(sshd.terminate)
            cls.sshd = getattr(cls, "sshd", sshd)
        cls.router.run("sh", "-c", "until [ $(ss -Htln | wc -l) = 2 ]; do sleep 0.05; done")
        cls.marker = home + "/ran"
        cls.hostile = "-x;$(touch${IFS}%s)'\"`touch${IFS}%s`" % (cls.marker, cls.marker)
        book = "0=alpha 10.66.0.10 026600000000\n1=bravo 10.66.0.11 02-66-00-00-00-01\n"
        book += "2=gone 10.66.0.99 026600000009\n3=%s 10.66.0.12 026600000002\n" % cls.hostile
        write(home + "/book.ini", "[list]\n" + book)

    def run_in(self, ns, *args, book="book.ini"):
        env = {"PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
        cmd = ns.cmd(self.nuvik, "--profile", self.home + "/" + book, *args)
        return nsutil.run(*cmd, check=False, env=env, cwd=self.home, timeout=60)

    def via(self, *args, host="far", book="book.ini"):
        return self.run_in(self.client, "--via", host, *args, book=book)

    def test_every_mode_prints_what_it_prints_on_the_machine_itself(self):
        # The same lines, the same status; a send is the same datagram.
        rtt = lambda text: re.sub(r"[0-9.]+ ms|\"rtt_ms\":[0-9.]+", "RTT", text)
        for args, macs in (
            (["--wake", "alpha", "-v"], ["026600000000"]),
            (["-w", "bravo", "10.66.0.12", "--port=9", "--repeat=2"], []),
            (["-v", "026600000001", "nonsense", "--to", "10.66.0.255"], ["026600000001"]),
            (["-v", self.home + "/book.ini"], None),
            (["-w", "-v", "--", self.hostile], ["026600000002"]),
            (["-w", "alpha", "-i", "-x; $(touch %s)\n'\"" % self.marker], []),
            (["-w", "alpha", "-i", "br0"], ["026600000000"]),
            (["-w", "gone", "nowhere", "--wait=2", "--json"], ["026600000009"]),
            (["--status", "--json"], []),
            (["--status", "bravo", "10.66.0.11", "026600000000", "nowhere"], []),
            (["--scan=10.66.0.8/29", "--json"], []),
            (["--scan=10.66.0.8/29"], []),
        ):
            results = []
            for run in (lambda: self.run_in(self.router, *args), lambda: self.via(*args)):
                sockets = [ns.receiver() for ns, _, _ in self.lan.hosts]
                result = run()
                got = sorted(d for s in sockets for _, _, _, d in nsutil.received(s))
                results.append((result.returncode, rtt(result.stdout), rtt(result.stderr), got))
            self.assertEqual(results[1], results[0], args)
            if macs is not None:
                self.assertEqual(got, sorted(nsutil.packet(m) for m in macs for _ in sockets))
            self.assertFalse(os.path.exists(self.marker), args)

    def test_scan_add_keeps_the_far_hosts_in_the_book_here(self):
        write(self.home + "/local.ini", "[list]\n0=alpha 10.66.0.77 026600000000\n")
        result = self.via("--scan", "--add", "-i", "br0", book="local.ini")
        lines = ["10.66.0.1%d 10.66.0.1%d 02660000000%d" % (i, i, i) for i in range(3)]
        self.assertEqual((result.returncode, result.stdout.splitlines()), (0, lines))
        added = "2 hosts added to %s/local.ini, 1 updated, 0 known already" % self.home
        self.assertEqual(result.stderr.splitlines()[-1], "nuvik: " + added)
        with open(self.home + "/local.ini") as f:
            self.assertEqual(
                sorted(re.findall(r"(\S+ \S+)\r?\n", f.read())), [l[11:] for l in lines]
            )

    def test_failures_in_words(self):
        for host, said in (
            ("stranger", "the host key of stranger is not known here"),
            ("bare", "there is no nuvik on bare"),
        ):
            result = self.via("-w", "alpha", host=host)
            self.assertEqual(
                (result.returncode, len(result.stderr.splitlines())), (2, 1), result.stderr
            )
            self.assertTrue(result.stderr.startswith("nuvik: --via %s: %s" % (host, said)))

    def test_ctrl_c_ends_both_sides_and_a_lost_connection_is_told(self):
        listening = "until ss -Huln sport = :4000 | grep -q .; do sleep 0.1; done"
        pipes = {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, "text": True}
        cmd = self.client.cmd(self.nuvik, "--via", "far", "--listen")
        listener = subprocess.Popen(cmd, **pipes)
        self.addCleanup(listener.kill)  # should a fault keep it
        self.router.run("sh", "-c", listening, timeout=10)
        listener.send_signal(signal.SIGINT)
        self.assertEqual(listener.wait(timeout=10), 130)
        self.router.run("sh", "-c", listening.replace("until", "while"), timeout=5)
        # The session's sshd goes while the other side waits.
        book = self.home + "/book.ini"
        cmd = self.client.cmd(self.nuvik, "-f", book, "--via", "far", "-w", "gone", "--wait=30")
        waiting = subprocess.Popen(cmd, **pipes)
        self.addCleanup(waiting.kill)
        time.sleep(3)
        for pid in nsutil.run("ps --ppid %d -o pid=" % self.sshd.pid).stdout.split():
            os.kill(int(pid), signal.SIGKILL)
        out, err = waiting.communicate(timeout=30)
        self.assertEqual((waiting.returncode, out), (2, ""), err)
        lost = "nuvik: --via far: the connection to far was lost while waiting: the wakes were sent"
        self.assertTrue(err.startswith(lost), err)


if __name__ == "__main__":
    unittest.main()
