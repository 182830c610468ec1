"""The Debian packages: built with cpack from the build tree into a temporary
folder, then their files, dependencies, lintian's verdict, and the command
line installed alone."""
import glob
import gzip
import os
import re
import shutil
import stat
import subprocess
import tempfile
import unittest

import installutil


def deb_field(deb, field):
    return subprocess.run(["dpkg-deb", "-f", deb, field], capture_output=True, text=True,
                          check=True).stdout.strip()


def deb_files(deb):
    """{path: mode string} of the package's entries, paths without the leading '.'."""
    out = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True, check=True).stdout
    files = {}
    for line in out.splitlines():
        fields = line.split(None, 5)
        files[fields[5].lstrip(".").rstrip("/") or "/"] = fields[0]
    return files


def depends_names(depends):
    """Package names of a Depends field, alternatives included."""
    return [re.split(r"[\s(]", alt.strip())[0]
            for item in depends.split(",") for alt in item.split("|") if alt.strip()]


class DebianPackages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        build = installutil.build_dir()
        values = installutil.cache(build)
        if installutil.is_on(values.get("NUVIK_SANITIZE", "OFF")):
            raise unittest.SkipTest("packages are not built from a sanitizer build")
        if not installutil.has_window(build, values):
            raise unittest.SkipTest("packages need the window module, and the build made none")
        cls.version = installutil.version_header(build)["NUVIK_VERSION"]
        cls.dirs = installutil.install_dirs(values)
        cls.out = tempfile.mkdtemp(prefix="nuvik-deb-")
        result = subprocess.run(
            ["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", cls.out],
            capture_output=True, text=True, cwd=cls.out, timeout=600)
        if result.returncode != 0:
            shutil.rmtree(cls.out, True)
            raise AssertionError("cpack failed:\n" + result.stdout + result.stderr)
        cls.debs = {}
        for deb in glob.glob(os.path.join(cls.out, "*.deb")):
            cls.debs[deb_field(deb, "Package")] = deb

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.out, True)

    def setUp(self):
        installutil.require_tools(self, "dpkg-deb")
        self.assertEqual(sorted(self.debs), ["nuvik", "nuvik-gui"])

    def extract(self, package):
        root = tempfile.mkdtemp(prefix="nuvik-root-")
        self.addCleanup(shutil.rmtree, root, True)
        subprocess.run(["dpkg-deb", "-x", self.debs[package], root], check=True)
        return root

    def test_command_line_package(self):
        deb = self.debs["nuvik"]
        self.assertEqual(deb_field(deb, "Version"), self.version)
        files = deb_files(deb)
        man = "/usr/%s/man1/nuvik.1.gz" % self.dirs["man"]
        expected = {
            "/usr/%s/nuvik" % self.dirs["bin"]: "-rwxr-xr-x",
            man: "-rw-r--r--",
            "/usr/share/doc/nuvik/copyright": "-rw-r--r--",
            "/usr/share/doc/nuvik/changelog.gz": "-rw-r--r--",
        }
        self.assertEqual({p: m for p, m in files.items() if not m.startswith("d")}, expected)
        depends = deb_field(deb, "Depends")
        names = depends_names(depends)
        self.assertIn("libc6", names)
        self.assertEqual([n for n in names if "qt" in n.lower() or "xcb" in n.lower()], [], depends)

    def test_window_package(self):
        deb = self.debs["nuvik-gui"]
        self.assertEqual(deb_field(deb, "Version"), self.version)
        files = deb_files(deb)
        module = "/usr/%s/nuvik/nuvik-window.so" % self.dirs["lib"]
        self.assertEqual(files.get(module), "-rw-r--r--", sorted(files))
        for path in ("/usr/share/applications/nuvik.desktop",
                     "/usr/share/doc/nuvik/help.html",
                     "/usr/share/doc/nuvik-gui/copyright",
                     "/usr/share/doc/nuvik-gui/changelog.gz",
                     "/usr/share/icons/hicolor/16x16/apps/nuvik.png",
                     "/usr/share/icons/hicolor/32x32/apps/nuvik.png",
                     "/usr/share/icons/hicolor/48x48/apps/nuvik.png",
                     "/usr/share/icons/hicolor/scalable/apps/nuvik.svg"):
            self.assertEqual(files.get(path), "-rw-r--r--", path)
        self.assertEqual(len([p for p in files if p.startswith("/usr/share/metainfo/")
                              and p.endswith(".metainfo.xml")]), 1)
        self.assertFalse(any(p.endswith("/nuvik") and p.startswith("/usr/bin") for p in files))
        depends = deb_field(deb, "Depends")
        self.assertIn("nuvik (= %s)" % self.version, [d.strip() for d in depends.split(",")])
        self.assertTrue(any(n.startswith("libqt6widgets") for n in depends_names(depends)), depends)

    def test_every_directory_is_0755(self):
        for package, deb in self.debs.items():
            for path, mode in deb_files(deb).items():
                if mode.startswith("d"):
                    self.assertEqual(mode, "drwxr-xr-x", "%s: %s" % (package, path))

    def test_copyright_is_machine_readable_with_the_license(self):
        with open(os.path.join(os.path.dirname(__file__), "..", "..", "LICENSE"), encoding="utf-8") as f:
            license_words = f.read().split("\n\n", 2)[2].split()  # after the title and copyright line
        for package in ("nuvik", "nuvik-gui"):
            root = self.extract(package)
            with open(os.path.join(root, "usr/share/doc", package, "copyright"), encoding="utf-8") as f:
                text = f.read()
            self.assertTrue(text.startswith(
                "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
            self.assertRegex(text, r"(?m)^Copyright: 2026 The nuvik developers$")
            self.assertRegex(text, r"(?m)^License: (Expat|MIT)$")
            body = [w for w in text.split("License:")[-1].split() if w != "."]
            self.assertEqual(body[1:], license_words)

    def test_compressed_files_carry_no_name_or_time(self):
        root = self.extract("nuvik")
        for path in glob.glob(os.path.join(root, "usr/share/**/*.gz"), recursive=True):
            with open(path, "rb") as f:
                head = f.read(10)
            self.assertEqual(head[:3], b"\x1f\x8b\x08", path)
            self.assertEqual(head[3] & 0x08, 0, path + " stores a file name")
            self.assertEqual(head[4:8], b"\0\0\0\0", path + " stores a time")
            self.assertEqual(head[8], 2, path + " is not compressed with -9")
            with gzip.open(path) as f:
                self.assertTrue(f.read())

    def test_lintian_reports_no_errors(self):
        installutil.require_tools(self, "lintian")
        for package, deb in sorted(self.debs.items()):
            result = subprocess.run(["lintian", "--no-cfg", deb], capture_output=True, text=True,
                                    timeout=600)
            errors = [l for l in result.stdout.splitlines() if l.startswith("E:")]
            self.assertEqual(errors, [], package)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_command_line_package_alone(self):
        root = self.extract("nuvik")
        nuvik = os.path.join(root, "usr/bin/nuvik")
        self.assertTrue(os.access(nuvik, os.X_OK))
        self.assertFalse(os.path.exists(os.path.join(root, "usr", self.dirs["lib"], "nuvik")))
        env = {"PATH": "/usr/bin:/bin", "HOME": root}
        version = subprocess.run([nuvik, "--version"], capture_output=True, text=True, env=env, cwd=root,
                                 timeout=30)
        self.assertEqual((version.returncode, version.stdout), (0, "NUVIK %s\n" % self.version))
        # The window with only the command line installed: said on stderr, status 2.
        window = subprocess.run([nuvik], capture_output=True, text=True, env=env, cwd=root, timeout=30)
        self.assertEqual(window.returncode, 2)
        self.assertEqual(window.stdout, "")
        self.assertEqual(window.stderr,
                         "nuvik: cannot open the window: its module nuvik-window.so is not installed "
                         "(the window needs the nuvik-gui package)\n")
        self.assertEqual(os.listdir(root), ["usr"])  # nothing written, no profile file


if __name__ == "__main__":
    unittest.main()
