"""The hosts window of the real executable under a virtual X server, read as a
screen reader reads it (the accessibility bus) and driven by the keyboard alone."""
import json
import os
import re
import subprocess
import sys
import unittest

import nsutil

# Runs in the sender's namespace beside the window: keys by xdotool, every
# reading through AT-SPI. Prints what it saw, one JSON object.
_DRIVER = r"""
import json, subprocess, sys, time
import pyatspi

seen = {}

def until(what, test, seconds=40):
    end = time.time() + seconds
    while time.time() < end:
        try:
            rows, status = read()
            if test(rows, status):
                seen[what] = {"rows": rows, "status": status}
                return rows, status
        except Exception:  # the window not up yet, or rows changing under the reader
            pass
        time.sleep(0.2)
    seen[what] = {"timeout": True}
    print(json.dumps(seen)), sys.exit(1)

def app():
    return next((a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "nuvik"), None)

def read():
    window = app()
    table = pyatspi.findDescendant(window, lambda a: a.getRoleName() == "table").queryTable()
    rows = {}
    for r in range(table.nRows):
        cells = [table.getAccessibleAt(r, c).name for c in range(table.nColumns)]
        rows[cells[0]] = cells[1:]
    bar = pyatspi.findDescendant(window, lambda a: a.getRoleName() == "status bar")
    return rows, next(a.name for a in bar if a.getRoleName() == "label")

def keys(*names):
    wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^NUVIK "],
                         capture_output=True, text=True).stdout.split()[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", wid, "sleep", "0.2",
                    "key", "--clearmodifiers", "--delay", "150", *names], check=True)

state = lambda rows, name: rows.get(name, ["", "", ""])[2]
until("start", lambda rows, s: state(rows, "nas").startswith("up") and
      state(rows, "late") == "down" and state(rows, "far") == "down")
keys("Down", "shift+Down", "Return")
until("woken", lambda rows, s: state(rows, "late").startswith("waking") and "sent" in s)
subprocess.run(sys.argv[1], shell=True, check=True)  # late comes up
until("up", lambda rows, s: state(rows, "late") == "up (echo)")
subprocess.run(sys.argv[2], shell=True, check=True)  # and leaves again
keys("F5")
until("scanned", lambda rows, s: s.startswith("Scan: ") and any("(new)" in n for n in rows))
keys("ctrl+f")
subprocess.run(["xdotool", "type", "--delay", "50", sys.argv[3]], check=True)
keys("Return", "Insert")
until("added", lambda rows, s: "added" in s)
keys("ctrl+w")
print(json.dumps(seen))
"""


class HostsWindow(unittest.TestCase):
    def test_rows_and_states_wakes_of_two_a_host_coming_up_and_a_scan_into_the_book(self):
        nuvik, _ = nsutil.require(self, "xvfb-run", "xdotool", "dbus-run-session")
        home = nsutil.tempdir(self, "nuvik-hosts-")
        net = nsutil.Net(self)
        c_mac = net.c.run("cat /sys/class/net/pc/address").stdout.strip()
        book = os.path.join(home, ".config", "nuvik", "nuvik.INI")
        os.makedirs(os.path.dirname(book))
        hosts = ["nas %s %s" % (net.B, net.b_mac()), "late 10.77.1.9 0000000000C1"]
        hosts.append("far 10.77.2.9 00-00-00-00-00-c2")
        text = lambda hosts: "[list]\r\n" + "".join("%d=%s\r\n" % h for h in enumerate(hosts))
        with open(book, "w") as f:
            f.write(text(hosts))
        rx_b, rx_c = net.b.receiver(), net.c.receiver()
        script = (
            "/usr/libexec/at-spi-bus-launcher --launch-immediately & sleep 0.5; "
            'timeout 120 "$0" --hosts & '
            'exec "$1" -c "$2" "$3" "$4" "$5"'
        )
        up = " ".join(net.b.cmd("ip", "addr", "%s", "10.77.1.9/24", "dev", "pb"))
        result = nsutil.run(
            *net.sender.cmd("xvfb-run", "-a", "-s", "-screen 0 1024x768x24 -noreset"),
            *["dbus-run-session", "--", "sh", "-c", script, nuvik, sys.executable, _DRIVER],
            *[up % "add", up % "del", net.C],
            check=False,
            timeout=300,
            env={
                "PATH": "/usr/bin:/bin",
                "HOME": home,
                "LANG": "C.UTF-8",
                "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            },
        )
        try:
            seen = json.loads(result.stdout.strip().splitlines()[-1])
        except (IndexError, ValueError):
            self.fail(result.stdout[-2000:] + result.stderr[-3000:])
        self.assertEqual(result.returncode, 0, (seen, result.stderr[-2000:]))
        b_colon = ":".join(re.findall("..", net.b_mac()))
        self.assertEqual(
            seen["start"]["rows"],
            {
                "nas": [net.B, b_colon, "up (echo)", seen["start"]["rows"]["nas"][3]],
                "late": ["10.77.1.9", "00:00:00:00:00:C1", "down", ""],
                "far": ["10.77.2.9", "00:00:00:00:00:C2", "down", ""],
            },
        )
        self.assertEqual(seen["woken"]["status"], "late and far: sent")
        self.assertRegex(seen["woken"]["rows"]["far"][2], r"^waking \d+ s$")
        # Waking until it answers; the other still waking, not down.
        self.assertRegex(seen["up"]["status"], r"^late: up \d+ s after the wake$")
        self.assertRegex(seen["up"]["rows"]["far"][2], r"^waking \d+ s$")
        self.assertRegex(seen["scanned"]["status"], r"^Scan: \d hosts found, 1 new$")
        self.assertEqual(seen["scanned"]["rows"]["10.77.2.2 (new)"][:2], [net.C, c_mac.upper()])
        self.assertEqual(seen["added"]["status"], "10.77.2.2: added to the address book")
        with open(book, newline="") as f:
            found = "10.77.2.2 10.77.2.2 " + c_mac.replace(":", "").upper()
            self.assertEqual(f.read(), text([found] + hosts))  # added at the head
        # Each woken host's datagram on its own link.
        self.assertIn(nsutil.packet("0000000000C1"), [p for *_, p in nsutil.received(rx_b)])
        self.assertIn(nsutil.packet("0000000000C2"), [p for *_, p in nsutil.received(rx_c)])


if __name__ == "__main__":
    unittest.main()
