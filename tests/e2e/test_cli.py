"""The command line, end to end: what leaves by which link, what is said, the exit status."""
import os
import unittest

import nsutil
from nsutil import Net, packet, received

BROADCAST = "255.255.255.255"
# Runs "$@" with standard output on a full-device node of its own, made in a
# private mount namespace on a file system of its own.
FULL = 'd=$1; shift; ip link set lo up && mount -t tmpfs nuvik "$d" && mknod "$d/full" c 1 7 '
FULL += '&& exec "$@" >"$d/full"'
PROFILE = "[list]\r\n0=b 10.77.1.5 0000000000B1\r\n1=c 10.77.2.5 0000000000C1\r\n"
PROFILE += "2=bad 10.77.1.6 0000000000b2\r\n3=unknown 0.0.0.0 0000000000A1\r\n"
PROFILE += "4=routed 10.88.0.5 0000000000A2\r\n5=c2 10.77.2.6 0000000000C2\r\n"


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.nuvik, _ = nsutil.require(self, "setpriv")

    def test_arguments_and_help(self):
        net = Net(self, links=1)
        rx = net.b.receiver()
        args = ("001122334455", "00-11-22-33-44-55", "AABBCCDDEEFF")
        result = net.sender.run(self.nuvik, *args, check=False)
        sent = [(net.S_B, 4000, BROADCAST, packet(m)) for m in args[::2]]
        self.assertEqual((received(rx), result.returncode), (sent, 1))
        folder = nsutil.tempdir(self, "nuvik-full-")
        full = "nuvik: cannot write to standard output: No space left on device\n"
        for option, start in (
            ("--help", "Usage: nuvik "),
            ("-h", "Usage: nuvik "),
            ("--version", "NUVIK "),
            ("-v --to=127.0.0.1 001122334455", ""),
        ):
            if start:
                result = nsutil.run(self.nuvik, option)
                self.assertEqual((result.stdout[: len(start)], result.stderr), (start, ""))
            cmd = ["unshare", "-m", "-n", "--propagation", "private", "sh", "-c", FULL, "sh"]
            result = nsutil.run(*cmd, folder, self.nuvik, *option.split(), check=False)
            self.assertEqual((result.returncode, result.stderr), (2, full))
        # A closed standard output stays closed: what is written to it fails.
        closed = nsutil.run("sh", "-c", '"$0" --version >&-', self.nuvik, check=False)
        bad = "nuvik: cannot write to standard output: Bad file descriptor\n"
        self.assertEqual((closed.returncode, closed.stderr), (2, bad))

    def test_each_host_leaves_by_its_link(self):
        net = Net(self)
        folder, nuvik = nsutil.tempdir(self, "nuvik-cli-", self.nuvik)
        with open(os.path.join(folder, "hosts.ini"), "w") as f:
            f.write(PROFILE)
        rx_b, rx_c = net.b.receiver(), net.c.receiver()
        env = {"PATH": "/usr/bin:/bin", "XDG_CONFIG_HOME": folder}
        cmd = [*nsutil.NOBODY, nuvik, "hosts.ini", "AABBCCDDEEFF"]
        result = net.sender.run(*cmd, check=False, cwd=folder, env=env)
        on_b = [packet("0000000000" + m) for m in ("B1", "A1", "A2")]
        self.assertEqual([d[3] for d in received(rx_b)], on_b)
        on_c = [(net.S_C, 4000, BROADCAST, packet("0000000000" + m)) for m in ("C1", "C2")]
        self.assertEqual(received(rx_c), on_c)
        self.assertEqual(result.returncode, 1)
        # Arguments leave by the default route; without one, by every link.
        for routed in (True, False):
            rx_b, rx_c = net.b.receiver(), net.c.receiver()
            result = net.sender.run(self.nuvik, "001122334455", check=False)
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            self.assertEqual(received(rx_b), [(net.S_B, 4000, BROADCAST, packet("001122334455"))])
            on_c = [] if routed else [(net.S_C, 4000, BROADCAST, packet("001122334455"))]
            self.assertEqual(received(rx_c), on_c)
            if routed:
                net.sender.run("ip route del default")


if __name__ == "__main__":
    unittest.main()
