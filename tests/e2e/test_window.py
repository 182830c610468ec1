"""The window of the real executable under a virtual X server, in a private network namespace."""
import os
import unittest

import nsutil


class Window(unittest.TestCase):
    def setUp(self):
        self.nuvik, _ = nsutil.require(self, "xvfb-run", "xdotool", "xauth")
        self.home = nsutil.tempdir(self, "nuvik-window-")

    def test_ok_wakes_a_picked_host_on_its_link_and_a_plain_close_leaves_the_profile(self):
        net = nsutil.Net(self)
        profile = os.path.join(self.home, ".config", "nuvik", "nuvik.INI")
        os.makedirs(os.path.dirname(profile))
        text = b"[list]\n0=far 10.77.2.5 0000000000C1\n1=nas 192.168.0.7 00A0C9FFEE1D\n"
        with open(profile, "wb") as f:
            f.write(text)
        rx_b, rx_c = net.b.receiver(), net.c.receiver()
        # Started with standard error closed, as a launcher may: the window still comes up.
        result = nsutil.window(
            self.nuvik, "Down Return Escape", self.home, net.sender, redirect="2>&-"
        )
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(nsutil.received(rx_b), [])
        self.assertEqual(
            nsutil.received(rx_c),
            [(net.S_C, 4000, "255.255.255.255", nsutil.packet("0000000000C1"))],
        )
        self.assertEqual(nsutil.read(profile), text)  # nothing changed: byte for byte

    def test_no_display_and_no_proc_finds_the_module_through_a_link(self):
        # The module is found beside the file the link names, never in the
        # current directory nor beside the link.
        with open(os.path.join(self.home, "nuvik-window.so"), "wb") as f:
            f.write(b"not nuvik's module")
        os.symlink(self.nuvik, os.path.join(self.home, "nuvik"))
        result = nsutil.run(
            "unshare",
            "-mn",
            "sh",
            "-c",
            'umount -l /proc && cd "$0" && exec nuvik',
            self.home,
            check=False,
            env={"PATH": self.home + ":/usr/bin:/bin", "HOME": self.home},
        )
        self.assertEqual((result.returncode, result.stdout), (2, ""))
        self.assertRegex(
            result.stderr, r"^nuvik: cannot open the window: [^\n]*no display[^\n]*\n$"
        )


if __name__ == "__main__":
    unittest.main()
