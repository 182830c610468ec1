"""The options, end to end: hosts by name and in any address form, where each
datagram goes, what is said, and the listener on the target's side."""
import os
import re
import signal
import subprocess
import unittest

import nsutil
from nsutil import Net, packet, received

BOOK = "[list]\r\n0=NAS 10.77.2.9 0000000000A1\r\n1=B\xdcRO 10.77.1.9 0000000000A2\r\n"
BOOK += "2=nas 10.77.1.9 0000000000A3\r\n"


def payloads(got):
    return [d[3] for d in got]


class Options(unittest.TestCase):
    def setUp(self):
        self.nuvik, _ = nsutil.require(self, "setpriv", "ss")
        self.home = nsutil.tempdir(self, "nuvik-opt-")
        os.makedirs(self.home + "/nuvik")
        with open(self.home + "/nuvik/nuvik.INI", "w", encoding="utf-8") as f:
            f.write(BOOK)
        self.env = nsutil.ENV | {"XDG_CONFIG_HOME": self.home}

    def wake(self, net, args, user=()):
        """args: one text, words separated by blanks."""
        rx_b, rx_c = net.b.receiver(), net.c.receiver()
        cmd = [*user, self.nuvik, *args.split()]
        result = net.sender.run(*cmd, check=False, env=self.env, cwd=self.home)
        return result, received(rx_b), received(rx_c)

    def test_hosts_by_name_and_address_form_on_their_links(self):
        etc = {"ethers": "02:00:00:00:00:e1 printer\n", "nsswitch.conf": "hosts: files\n"}
        net = Net(self, etc={**etc, "hosts": "10.77.1.2 gamebox\n"})
        net.sender.run("ip neigh replace %s lladdr 02:00:00:00:00:b6 dev sb" % net.B)
        forms = "02:00:00:00:00:B2 02-00-00-00-00-b3 0200.0000.00b4 0200000000b5"
        result, on_b, on_c = self.wake(
            net, "-v --wake nAs büro %s printer nosuch 10.77.1.9 010.77.1.9 gamebox" % forms
        )
        self.assertEqual(
            payloads(on_c), [packet("0000000000A1")]
        )  # the first entry so named, on its link
        # An address: the book's entry there; a name the resolver knows: its neighbour entry.
        macs = "0000000000A2 0200000000B2 0200000000B3 0200000000B4 0200000000B5 0200000000E1"
        macs += " 0000000000A2 0200000000B6"
        self.assertEqual(payloads(on_b), [packet(m) for m in macs.split()])
        unknown = re.findall(r'^nuvik: "(.*)": no such host', result.stderr, re.M)
        self.assertEqual((result.returncode, unknown), (1, ["nosuch", "010.77.1.9"]))

    def test_port_destination_interface_and_repeats(self):
        net = Net(self, etc={"hosts": "10.77.1.2 target\n"})
        rx9 = net.b.receiver(9)
        result, on_b, _ = self.wake(net, "--port=9 001122334455")
        broadcast = (net.S_B, 4000, "255.255.255.255", packet("001122334455"))
        self.assertEqual((result.returncode, on_b, received(rx9)), (0, [], [broadcast]))
        for to, dst, link in (
            ("10.77.1.255", "10.77.1.255", 1),
            ("target", net.B, 1),
            ("10.77.2.255", "10.77.2.255", 2),
        ):
            result, on_b, on_c = self.wake(net, "--to %s -v 001122334455" % to)
            got = ([d[2] for d in on_b], [d[2] for d in on_c])
            self.assertEqual(got, ([dst], []) if link == 1 else ([], [dst]))
        result, on_b, on_c = self.wake(net, "-i sc -w nas 001122334455", user=nsutil.NOBODY)
        sent = [packet("0000000000A1"), packet("001122334455")]
        self.assertEqual((result.returncode, on_b, payloads(on_c)), (0, [], sent))
        result, on_b, _ = self.wake(net, "--repeat=3 001122334455 AABBCCDDEEFF")
        self.assertEqual(payloads(on_b), [packet(m) for m in ("001122334455", "AABBCCDDEEFF") * 3])

    def test_a_bad_value_sends_nothing(self):
        net = Net(self)
        net.sender.run("ip link set sc down")
        port = "not a port number from 1 to 65535 (see nuvik --help)"
        for args, said in (
            ("--port 0", "--port '0': " + port),
            ("-f missing.ini -w nas", "missing.ini: No such file or directory"),
            ("-i nope", "--interface nope: no such interface"),
            ("-i sc", "--interface sc: the interface is down"),
            ("--to nosuch.invalid", "--to nosuch.invalid: no IPv4 address for this name"),
            ("--to 010.077.001.002", "--to 010.077.001.002: not an IPv4 address: four decimal"),
        ):
            result, on_b, on_c = self.wake(net, "001122334455 " + args)
            self.assertEqual((result.returncode, on_b + on_c), (2, []), args)
            self.assertRegex(result.stderr, "^nuvik: %s[^\n]*\n$" % re.escape(said))

    def test_listen_as_an_ordinary_user(self):
        net = Net(self, links=1)
        denied = net.b.run(*nsutil.NOBODY, self.nuvik, "--listen=80", check=False)
        self.assertEqual(denied.returncode, 2)
        self.assertEqual(
            denied.stderr,
            "nuvik: cannot listen on UDP port 80: a port below 1024 needs "
            "root or the capability CAP_NET_BIND_SERVICE; choose another with --listen=PORT\n",
        )
        listen = net.b.cmd(*nsutil.NOBODY, self.nuvik, "--listen=5000")
        listener = subprocess.Popen(listen, stdout=subprocess.PIPE, text=True)
        net.b.until_listening(5000)
        net.sender.run(self.nuvik, "--port=5000", "001122334455")
        bad = "import socket; socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(bytes(6) + "
        net.sender.run(
            "python3", "-c", bad + "bytes.fromhex('%s'), ('%s', 5000))" % ("01" * 96, net.B)
        )
        net.sender.run(self.nuvik, "--port=5000", "--to", net.B, "AABBCCDDEEFF")
        lines = [listener.stdout.readline() for _ in range(3)]
        listener.send_signal(signal.SIGTERM)
        self.assertEqual(listener.wait(10), 0)
        listener.stdout.close()
        when = (
            r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} from 10.77.1.1 port 4000 to 255.255.255.255: "
        )
        self.assertRegex(lines[0], when + r"001122334455, well formed\n$")
        self.assertRegex(
            lines[1],
            r" port \d+ to 10.77.1.2: 010101010101, not well formed: "
            r"the first six bytes are not all 0xFF\n$",
        )
        self.assertRegex(lines[2], r" to 10.77.1.2: AABBCCDDEEFF, well formed\n$")


if __name__ == "__main__":
    unittest.main()
