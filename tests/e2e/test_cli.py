"""The command line, end to end: what is sent, what is said, the exit status."""
import unittest

import nsutil
from nsutil import Net, packet, received

BROADCAST = "255.255.255.255"
# Runs "$@" with standard output on a full-device node of its own, made in a
# private mount namespace on a file system of its own.
FULL = 'd=$1; shift; ip link set lo up && mount -t tmpfs nuvik "$d" && mknod "$d/full" c 1 7 '
FULL += '&& exec "$@" >"$d/full"'


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


if __name__ == "__main__":
    unittest.main()
