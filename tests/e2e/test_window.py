"""The window of the real executable under a virtual X server.

The program and its X server run together in a private network namespace:
closing the window sends nothing, and nothing could leave it anyway.
"""
import os
import shutil
import subprocess
import tempfile
import unittest

import nsutil

TITLE = "NUVIK 1.0.3"


def require_tools(test_case, *tools):
    missing = [t for t in tools if shutil.which(t) is None]
    if not missing:
        return
    reason = "missing: " + ", ".join(missing)
    if os.environ.get("CI"):
        test_case.fail(reason + " (CI must run these tests)")
    raise unittest.SkipTest(reason)


class WindowTest(unittest.TestCase):
    def setUp(self):
        nsutil.require_namespaces(self)
        require_tools(self, "xvfb-run", "xdotool", "xauth")
        self.nuvik = nsutil.nuvik_bin()
        self.home = tempfile.mkdtemp(prefix="nuvik-window-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.config = os.path.join(self.home, ".config", "nuvik")
        os.makedirs(self.config)
        self.profile = os.path.join(self.config, "nuvik.INI")

    def env(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "QT_QPA_PLATFORM",
                            "XAUTHORITY", "XDG_RUNTIME_DIR")}
        env["HOME"] = self.home
        return env

    def run_with_display(self, script, timeout=90, namespace=None):
        """Runs a shell script under Xvfb in a namespace of its own, or in the given one."""
        return subprocess.run(
            (namespace.cmd() if namespace else ["unshare", "-n"]) +
            ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24 -nolisten tcp", "sh", "-c", script],
            env=self.env(), capture_output=True, text=True, timeout=timeout)

    def test_escape_saves_the_profile_and_ends(self):
        with open(self.profile, "wb") as f:
            f.write(b"[list]\n0=nas 10.0.0.2 001122334455\n1=Alpha 192.168.0.7 00A0C9FFEE1D\n")
        script = (
            'ip link set lo up\n'
            '"$NUVIK" & pid=$!\n'
            'wid=$(timeout 30 xdotool search --sync --onlyvisible --name "$TITLE" | head -n 1)\n'
            '[ -n "$wid" ] || { echo "no window" >&2; kill $pid; exit 97; }\n'
            'xdotool windowfocus --sync "$wid"\n'
            'xdotool key --clearmodifiers Escape\n'
            'wait $pid; echo "status=$?"\n')
        env_script = f'NUVIK="{self.nuvik}"; TITLE="{TITLE}"\n' + script
        result = self.run_with_display(env_script)
        self.assertIn("status=0", result.stdout, result.stderr)
        with open(self.profile, "rb") as f:
            self.assertEqual(f.read(),
                             b"[list]\r\n0=nas 10.0.0.2 001122334455\r\n1=Alpha 192.168.0.7 00A0C9FFEE1D\r\n")

    def test_ok_wakes_a_picked_host_on_its_own_link(self):
        net = nsutil.TwoLinks()
        self.addCleanup(net.close)
        with open(self.profile, "wb") as f:
            f.write(b"[list]\n0=far 10.77.2.5 0000000000C1\n")
        script = (
            f'"{self.nuvik}" & pid=$!\n'
            f'wid=$(timeout 30 xdotool search --sync --onlyvisible --name "{TITLE}" | head -n 1)\n'
            '[ -n "$wid" ] || { echo "no window" >&2; kill $pid; exit 97; }\n'
            'xdotool windowfocus --sync "$wid"\n'
            'xdotool key --clearmodifiers Down Return Escape\n'  # pick it, "OK", close
            'wait $pid; echo "status=$?"\n')
        rx_b, rx_c = nsutil.Receiver(net.b, wait=60), nsutil.Receiver(net.c, wait=60)
        result = self.run_with_display(script, namespace=net.sender)
        self.assertIn("status=0", result.stdout, result.stderr)
        net.sender.run(nsutil.PYTHON, "-c", "import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM);"
                       "s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1);"
                       "s.sendto(b'end', ('255.255.255.255', 4000))")  # by the default route: b's end
        self.assertEqual([d["data"] for d in rx_b.datagrams()], [b"end".hex()])
        got = rx_c.datagrams()
        self.assertEqual([(d["src"], d["data"]) for d in got], [(net.SENDER_C, "ff" * 6 + "0000000000c1" * 16)])

    def test_no_display_is_one_line_and_status_2_and_no_foreign_module_runs(self):
        # Started by its bare name without /proc, from a folder that holds a
        # module of the same name: only the module beside the real
        # executable may load (it then finds no display).
        with open(os.path.join(self.home, "nuvik-window.so"), "wb") as f:
            f.write(b"not nuvik's module")
        env = self.env()
        env["PATH"] = os.path.dirname(self.nuvik) + ":/usr/bin:/bin"
        result = subprocess.run(
            ["unshare", "-mn", "/bin/sh", "-c", 'umount -l /proc && cd "$1" && exec nuvik', "sh", self.home],
            env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 2, result.stderr)
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertIn("cannot open the window", lines[0])
        self.assertIn("no display", lines[0])
        self.assertEqual(result.stdout, "")


if __name__ == "__main__":
    unittest.main()
