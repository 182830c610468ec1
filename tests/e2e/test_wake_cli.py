"""The command-line wake, end to end, inside private network namespaces."""
import socket
import subprocess
import unittest

import nsutil


def packet(mac_hex):
    return "ff" * 6 + mac_hex.lower() * 16


class CommandLineWake(unittest.TestCase):
    def setUp(self):
        nsutil.require_namespaces(self)
        self.nuvik = nsutil.nuvik_bin()
        self.net = nsutil.LinkedPair()
        self.addCleanup(self.net.close)

    def wake(self, *args, **kw):
        return self.net.sender.run(self.nuvik, *args, check=False, timeout=30, **kw)

    def test_valid_invalid_valid(self):
        rx = nsutil.Receiver(self.net.peer)
        result = self.wake("001122334455", "00-11-22-33-44-55", "AABBCCDDEEFF")
        got = rx.datagrams()
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual([d["data"] for d in got], [packet("001122334455"), packet("AABBCCDDEEFF")])
        for d in got:
            self.assertEqual(d["sport"], 4000)
            self.assertEqual(d["dst"], "255.255.255.255")
            self.assertEqual(d["src"], nsutil.LinkedPair.SENDER_IP)
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertIn("00-11-22-33-44-55", lines[0])
        self.assertTrue(lines[0].startswith("nuvik: "), lines[0])

    def test_all_ff(self):
        rx = nsutil.Receiver(self.net.peer)
        result = self.wake("FFFFFFFFFFFF")
        got = rx.datagrams()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        self.assertEqual([bytes.fromhex(d["data"]) for d in got], [b"\xff" * 102])

    def test_port_held_by_another_program(self):
        rx = nsutil.Receiver(self.net.peer)
        holder = subprocess.Popen(
            self.net.sender.cmd(nsutil.PYTHON, "-c",
                                "import socket,sys,time\n"
                                "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                                "s.bind(('0.0.0.0',4000))\nprint('held',flush=True)\ntime.sleep(30)"),
            stdout=subprocess.PIPE, text=True)
        self.addCleanup(holder.kill)
        self.assertEqual(holder.stdout.readline().strip(), "held")
        result = self.wake("001122334455", "AABBCCDDEEFF")
        holder.kill()
        got = rx.datagrams()
        self.assertEqual(got, [])
        self.assertEqual(result.returncode, 1)
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 2, result.stderr)
        self.assertIn("001122334455", lines[0])
        self.assertIn("AABBCCDDEEFF", lines[1])  # the later argument was still tried
        self.assertIn("in use", lines[1])

    def test_by_the_default_route_and_without_one_on_every_link(self):
        net = nsutil.TwoLinks()
        self.addCleanup(net.close)
        for routed in (True, False):
            rx_b, rx_c = nsutil.Receiver(net.b), nsutil.Receiver(net.c)
            result = net.sender.run(self.nuvik, "001122334455", check=False, timeout=30)
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            self.assertEqual([d["data"] for d in rx_b.datagrams()], [packet("001122334455")])
            self.assertEqual([(d["src"], d["data"]) for d in rx_c.datagrams()],
                             [] if routed else [(net.SENDER_C, packet("001122334455"))])
            if routed:
                net.sender.run("ip", "route", "del", "default")

    def test_no_link_is_reported(self):
        # Nothing but the loopback, which is down: no interface can broadcast.
        result = subprocess.run(["unshare", "-n", self.nuvik, "001122334455"],
                                capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertIn("001122334455", result.stderr)
        self.assertIn("unreachable", result.stderr.lower())

    def test_single_empty_argument(self):
        rx = nsutil.Receiver(self.net.peer)
        result = self.wake("", env={"PATH": "/usr/bin:/bin"})  # no DISPLAY either
        self.assertEqual(rx.datagrams(), [])
        self.assertEqual(result.returncode, 1)
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        self.assertNotIn("window", result.stderr)

    def test_help_exits_zero_unless_standard_output_fails(self):
        for option in ("--help", "--version"):
            result = subprocess.run([self.nuvik, option], capture_output=True, text=True, timeout=30)
            self.assertEqual((result.returncode, result.stderr), (0, ""), option)
            self.assertIn("1.0.3" if option == "--version" else "Usage:", result.stdout)
            with open("/dev/full", "w") as full:
                result = subprocess.run([self.nuvik, option], stdout=full, stderr=subprocess.PIPE,
                                        text=True, timeout=30)
            self.assertEqual(result.returncode, 2, option)
            self.assertEqual(result.stderr, "nuvik: cannot write to standard output: No space left on device\n")


if __name__ == "__main__":
    unittest.main()
