"""The batch wake of a profile file, end to end, inside private network namespaces."""
import os
import shutil
import tempfile
import unittest

import nsutil


def packet(mac_hex):
    return "ff" * 6 + mac_hex.lower() * 16


class ProfileWake(unittest.TestCase):
    def setUp(self):
        nsutil.require_namespaces(self)
        self.nuvik = nsutil.nuvik_bin()
        self.net = nsutil.LinkedPair()
        self.addCleanup(self.net.close)
        self.folder = tempfile.mkdtemp(prefix="nuvik-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        # The configuration directory is a private one, and stays empty.
        self.config = os.path.join(self.folder, "config")
        self.env = {"PATH": "/usr/bin:/bin", "XDG_CONFIG_HOME": self.config}

    def write(self, name, text):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(text.encode())

    def wake(self, *args):
        return self.net.sender.run(self.nuvik, *args, check=False, timeout=60,
                                   cwd=self.folder, env=self.env)

    def test_valid_entries_are_woken_in_order_and_the_rest_reported(self):
        self.write("hosts.ini",
                   "[list]\r\n"
                   "0=pc1 192.168.0.10 001122334455\r\n"
                   "1=nameonly 192.168.0.11\r\n"
                   "2=lower 192.168.0.12 aabbccddeeff\r\n"
                   "3=pc4 192.168.0.13 AABBCCDDEEFF\r\n")
        rx = nsutil.Receiver(self.net.peer)
        result = self.wake("hosts.ini")  # relative to the current directory
        got = rx.datagrams()
        self.assertEqual([d["data"] for d in got], [packet("001122334455"), packet("AABBCCDDEEFF")])
        for d in got:
            self.assertEqual((d["sport"], d["dst"]), (4000, "255.255.255.255"))
        self.assertEqual(result.returncode, 1, result.stderr)
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 2, result.stderr)
        self.assertIn("1=nameonly", lines[0])
        self.assertIn("2=lower", lines[1])
        for line in lines:
            self.assertTrue(line.startswith("nuvik: hosts.ini"), line)
        self.assertFalse(os.path.exists(self.config), "profile mode saved something")

    def test_each_host_is_woken_on_its_own_link(self):
        net = nsutil.TwoLinks()
        self.addCleanup(net.close)
        # By an ordinary user, from a copy it may run.
        os.chmod(self.folder, 0o755)
        nuvik = shutil.copy(self.nuvik, self.folder)
        self.write("hosts.ini",
                   "[list]\r\n"
                   "0=b 10.77.1.5 0000000000B1\r\n"
                   "1=c 10.77.2.5 0000000000C1\r\n"
                   "2=unknown 0.0.0.0 0000000000A1\r\n"
                   "3=routed 10.88.0.5 0000000000A2\r\n"   # through the gateway on c's link
                   "4=c2 10.77.2.6 0000000000C2\r\n")
        rx_b, rx_c = nsutil.Receiver(net.b), nsutil.Receiver(net.c)
        result = net.sender.run(*nsutil.NOBODY, nuvik, "hosts.ini", check=False, timeout=60,
                                cwd=self.folder, env=self.env)
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertEqual([d["data"] for d in rx_b.datagrams()],
                         [packet(m) for m in ("0000000000B1", "0000000000A1", "0000000000A2")])
        got = rx_c.datagrams()
        self.assertEqual([d["data"] for d in got], [packet("0000000000C1"), packet("0000000000C2")])
        for d in got:
            self.assertEqual((d["src"], d["sport"], d["dst"]), (net.SENDER_C, 4000, "255.255.255.255"))

    def test_all_sent_exits_zero_silently(self):
        self.write("hosts.ini", "[list]\n0=pc1 192.168.0.10 001122334455\n")
        rx = nsutil.Receiver(self.net.peer)
        result = self.wake("hosts.ini", "AABBCCDDEEFF")  # later arguments are ignored
        self.assertEqual([d["data"] for d in rx.datagrams()], [packet("001122334455")])
        self.assertEqual((result.returncode, result.stderr), (0, ""))

    def test_missing_file_sends_nothing(self):
        rx = nsutil.Receiver(self.net.peer)
        result = self.wake("missing.ini")
        self.assertEqual(rx.datagrams(), [])
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stderr.splitlines(), ["nuvik: missing.ini: No such file or directory"])

    def test_upper_case_extension_is_an_address_argument(self):
        self.write("HOSTS.INI", "[list]\n0=pc1 192.168.0.10 001122334455\n")
        rx = nsutil.Receiver(self.net.peer)
        result = self.wake("HOSTS.INI")
        self.assertEqual(rx.datagrams(), [])
        self.assertEqual(result.returncode, 1)
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        self.assertIn("HOSTS.INI", result.stderr)


if __name__ == "__main__":
    unittest.main()
