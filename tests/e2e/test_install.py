"""The installed program: cmake --install into a temporary prefix, then the
installed files, run from another directory, away from the build tree."""
import gzip
import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET

import installutil
import nsutil


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build = installutil.build_dir()
        cls.cache = installutil.cache(cls.build)
        cls.version = installutil.version_header(cls.build)
        cls.dirs = installutil.install_dirs(cls.cache)
        cls.window = installutil.has_window(cls.build, cls.cache)
        cls.root = tempfile.mkdtemp(prefix="nuvik-install-")
        cls.prefix = os.path.join(cls.root, "prefix")
        result = subprocess.run(["cmake", "--install", cls.build, "--prefix", cls.prefix],
                                capture_output=True, text=True, timeout=300)
        if result.returncode != 0:
            shutil.rmtree(cls.root, True)
            raise AssertionError("cmake --install failed:\n" + result.stdout + result.stderr)
        cls.nuvik = os.path.join(cls.prefix, cls.dirs["bin"], "nuvik")
        cls.elsewhere = os.path.join(cls.root, "elsewhere")  # neither the build tree nor the prefix
        os.mkdir(cls.elsewhere)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, True)

    def path(self, kind, *parts):
        return os.path.join(self.prefix, self.dirs[kind], *parts)

    # --- the files and where they are; their modes are checked in the packages

    def test_icons_have_their_sizes(self):
        for size in (16, 32, 48):
            with open(self.path("data", "icons", "hicolor", "%dx%d" % (size, size), "apps", "nuvik.png"), "rb") as f:
                head = f.read(24)
            self.assertEqual((head[:8], head[12:16]), (b"\x89PNG\r\n\x1a\n", b"IHDR"))
            self.assertEqual(struct.unpack(">II", head[16:24]), (size, size))
        svg = self.path("data", "icons", "hicolor", "scalable", "apps", "nuvik.svg")
        self.assertEqual(ET.parse(svg).getroot().tag, "{http://www.w3.org/2000/svg}svg")

    def test_help_page_where_the_executable_looks(self):
        # At <exedir>/NUVIK_DATA_RELDIR, the program's own data directory (doc/ may be left out
        # of minimal systems); the module, at NUVIK_MODULE_RELDIR, is found by the window test.
        help_page = os.path.join(os.path.dirname(self.nuvik), self.version["NUVIK_DATA_RELDIR"], "help.html")
        self.assertTrue(os.path.isfile(help_page), help_page)
        self.assertEqual(os.path.realpath(help_page), self.path("data", "nuvik", "help.html"))

    def test_versions_agree(self):
        version = self.version["NUVIK_VERSION"]
        self.assertEqual(version, self.cache["CMAKE_PROJECT_VERSION"])
        result = subprocess.run([self.nuvik, "--version"], capture_output=True, text=True,
                                cwd=self.elsewhere, timeout=30)
        self.assertEqual((result.returncode, result.stdout), (0, "NUVIK %s\n" % version))
        with gzip.open(self.path("data", "doc", "nuvik", "changelog.gz"), "rt") as f:
            self.assertTrue(f.readline().startswith("nuvik (%s) " % version))
        with gzip.open(self.path("man", "man1", "nuvik.1.gz"), "rt") as f:
            self.assertIn('"nuvik %s"' % version, f.read())
        metainfo = ET.parse(self.metainfo_path()).getroot()
        self.assertEqual([r.get("version") for r in metainfo.iter("release")][0], version)

    # --- the desktop files validate and fit together

    def metainfo_path(self):
        folder = self.path("data", "metainfo")
        names = [n for n in os.listdir(folder) if n.endswith(".metainfo.xml")]
        self.assertEqual(len(names), 1, names)
        return os.path.join(folder, names[0])

    def test_desktop_entry_validates(self):
        installutil.require_tools(self, "desktop-file-validate")
        desktop = self.path("data", "applications", "nuvik.desktop")
        result = subprocess.run(["desktop-file-validate", desktop], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))
        with open(desktop, encoding="utf-8") as f:
            keys = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        self.assertEqual((keys["Name"], keys["Exec"], keys["Icon"]), ("NUVIK", "nuvik", "nuvik"))
        self.assertIn("Network", keys["Categories"].split(";"))

    def test_metainfo_validates_and_names_the_desktop_entry(self):
        installutil.require_tools(self, "appstreamcli")
        path = self.metainfo_path()
        result = subprocess.run(["appstreamcli", "validate", "--no-net", "--pedantic", path],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual([l for l in result.stdout.splitlines() if l[:2] in ("E:", "W:")], [])
        root = ET.parse(path).getroot()
        self.assertEqual(os.path.basename(path), root.findtext("id") + ".metainfo.xml")
        self.assertEqual((root.find("launchable").text, root.find("provides/binary").text), ("nuvik.desktop", "nuvik"))

    def test_man_page_renders_without_warnings(self):
        installutil.require_tools(self, "groff")
        with gzip.open(self.path("man", "man1", "nuvik.1.gz"), "rb") as f:
            source = f.read()
        # Plain text: no bold, underline or overstriking.
        result = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-P-cbou"], input=source,
                                capture_output=True)
        self.assertEqual((result.returncode, result.stderr.decode()), (0, ""))
        plain = " ".join(result.stdout.decode().replace("\u2010", "-").replace("\u2212", "-").split())
        for needle in ("--help", "--version", "EXIT STATUS", ".ini", "nuvik.INI", "XDG_CONFIG_HOME",
                       "~/.config/nuvik/nuvik.INI", "[list]", "CR LF", "255.255.255.255", "port 4000",
                       "102 bytes", "port 9", "neighbour table", "nuvik-gui"):
            self.assertIn(needle, plain)

    # --- the installed program runs

    def test_installed_command_line_wakes_in_a_namespace(self):
        nsutil.require_namespaces(self)
        with nsutil.LinkedPair() as net:
            rx = nsutil.Receiver(net.peer)
            result = net.sender.run(self.nuvik, "0A1B2C3D4E5F", check=False, timeout=30,
                                    cwd=self.elsewhere, env={"PATH": "/usr/bin:/bin"})
            got = rx.datagrams()
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertEqual([d["data"] for d in got], ["ff" * 6 + "0a1b2c3d4e5f" * 16])  # the rest: test_wake_cli

    def test_installed_window_opens_and_closes_with_escape(self):
        if not self.window:
            self.skipTest("the build made no window module")
        installutil.require_tools(self, "xvfb-run", "xdotool")
        home = os.path.join(self.root, "home")
        os.mkdir(home)
        result = installutil.run_window(self.nuvik, self.version["NUVIK_TITLE"],
                                        {"PATH": "/usr/bin:/bin", "HOME": home, "LANG": "C.UTF-8"}, self.elsewhere)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotIn("nuvik:", result.stderr)
        # An empty address book leaves no profile file, and nothing else either.
        self.assertEqual([os.path.join(d, f) for d, _, files in os.walk(home) for f in files], [])
        self.assertEqual(os.listdir(self.elsewhere), [])


if __name__ == "__main__":
    unittest.main()
