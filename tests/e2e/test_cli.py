"""The command line, end to end: what leaves by which link, what is said, the exit status."""
import os
import shutil
import unittest

import nsutil
from nsutil import Net, packet, received

BROADCAST = "255.255.255.255"
# Runs "$@" with standard output on a full-device node of its own, made in a
# private mount namespace on a file system of its own.
FULL = 'd=$1; shift; ip link set lo up && mount -t tmpfs nuvik "$d" && mknod "$d/full" c 1 7 && exec "$@" >"$d/full"'


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.nuvik, _ = nsutil.require(self, "setpriv")

    def test_arguments_and_help(self):
        net = Net(self, links=1)
        rx = net.b.receiver()
        result = net.sender.run(
            self.nuvik, "001122334455", "00-11-22-33-44-55", "AABBCCDDEEFF", check=False
        )
        self.assertEqual(
            received(rx),
            [(net.S_B, 4000, BROADCAST, packet(m)) for m in ("001122334455", "AABBCCDDEEFF")],
        )
        self.assertEqual(result.returncode, 1)
        self.assertEqual(
            result.stderr,
            'nuvik: "00-11-22-33-44-55" is not a hardware address: write 001122334455, '
            "or --wake for other forms\n",
        )
        folder = nsutil.tempdir(self, "nuvik-full-")
        for option, start in (
            ("--help", "Usage: nuvik "),
            ("-h", "Usage: nuvik "),
            ("--version", "NUVIK "),
            ("-v --to=127.0.0.1 001122334455", ""),
        ):
            if start:
                result = nsutil.run(self.nuvik, option)
                self.assertEqual((result.stdout[: len(start)], result.stderr), (start, ""))
            result = nsutil.run(
                "unshare",
                "-m",
                "-n",
                "--propagation",
                "private",
                "sh",
                "-c",
                FULL,
                "sh",
                folder,
                self.nuvik,
                *option.split(),
                check=False
            )
            self.assertEqual(
                (result.returncode, result.stderr),
                (2, "nuvik: cannot write to standard output: No space left on device\n"),
            )
        # A closed standard output stays closed: what is written to it fails.
        closed = nsutil.run("sh", "-c", '"$0" --version >&-', self.nuvik, check=False)
        self.assertEqual(
            (closed.returncode, closed.stderr),
            (2, "nuvik: cannot write to standard output: Bad file descriptor\n"),
        )

    def test_each_host_leaves_by_its_link(self):
        net = Net(self)
        folder = nsutil.tempdir(self, "nuvik-cli-")
        os.chmod(folder, 0o755)
        nuvik = shutil.copy(self.nuvik, folder)  # where nobody may run it
        with open(os.path.join(folder, "hosts.ini"), "w") as f:
            f.write(
                "[list]\r\n0=b 10.77.1.5 0000000000B1\r\n1=c 10.77.2.5 0000000000C1\r\n2=bad 10.77.1.6 0000000000b2\r\n"
                "3=unknown 0.0.0.0 0000000000A1\r\n4=routed 10.88.0.5 0000000000A2\r\n5=c2 10.77.2.6 0000000000C2\r\n"
            )
        rx_b, rx_c = net.b.receiver(), net.c.receiver()
        result = net.sender.run(
            *nsutil.NOBODY,
            nuvik,
            "hosts.ini",
            "AABBCCDDEEFF",
            check=False,
            cwd=folder,
            env={"PATH": "/usr/bin:/bin", "XDG_CONFIG_HOME": folder}
        )
        self.assertEqual(
            [d[3] for d in received(rx_b)], [packet("0000000000" + m) for m in ("B1", "A1", "A2")]
        )
        self.assertEqual(
            received(rx_c),
            [(net.S_C, 4000, BROADCAST, packet("0000000000" + m)) for m in ("C1", "C2")],
        )
        self.assertEqual(result.returncode, 1)
        self.assertRegex(
            result.stderr,
            r"^nuvik: hosts.ini \[list\] 2=bad 10.77.1.6 0000000000b2: skipped[^\n]*\n$",
        )
        # Arguments leave by the default route; without one, by every link.
        for routed in (True, False):
            rx_b, rx_c = net.b.receiver(), net.c.receiver()
            result = net.sender.run(self.nuvik, "001122334455", check=False)
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            self.assertEqual(received(rx_b), [(net.S_B, 4000, BROADCAST, packet("001122334455"))])
            self.assertEqual(
                received(rx_c),
                [] if routed else [(net.S_C, 4000, BROADCAST, packet("001122334455"))],
            )
            if routed:
                net.sender.run("ip", "route", "del", "default")


if __name__ == "__main__":
    unittest.main()
