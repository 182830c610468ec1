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
    return {f[5].lstrip(".").rstrip("/") or "/": f[0] for f in (line.split(None, 5) for line in out.splitlines())}


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
        cls.debs = {deb_field(deb, "Package"): deb for deb in glob.glob(os.path.join(cls.out, "*.deb"))}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.out, True)

    def setUp(self):
        self.assertEqual(sorted(self.debs), ["nuvik", "nuvik-gui"])

    def extract(self, package):
        root = tempfile.mkdtemp(prefix="nuvik-root-")
        self.addCleanup(shutil.rmtree, root, True)
        subprocess.run(["dpkg-deb", "-x", self.debs[package], root], check=True)
        return root

    def files(self, package):
        """The package's version checked, then {path: mode} of its files; every directory is 0755."""
        self.assertEqual(deb_field(self.debs[package], "Version"), self.version)
        entries = deb_files(self.debs[package])
        self.assertEqual({m for m in entries.values() if m.startswith("d")}, {"drwxr-xr-x"}, package)
        return {path: mode for path, mode in entries.items() if not mode.startswith("d")}

    def test_command_line_package(self):
        rw = "-rw-r--r--"
        self.assertEqual(self.files("nuvik"), {
            "/usr/%s/nuvik" % self.dirs["bin"]: "-rwxr-xr-x", "/usr/%s/man1/nuvik.1.gz" % self.dirs["man"]: rw,
            "/usr/share/doc/nuvik/copyright": rw, "/usr/share/doc/nuvik/changelog.gz": rw})
        depends = deb_field(self.debs["nuvik"], "Depends")
        names = depends_names(depends)
        self.assertIn("libc6", names)
        self.assertEqual([n for n in names if "qt" in n.lower() or "xcb" in n.lower()], [], depends)

    def test_window_package(self):
        files = self.files("nuvik-gui")
        metainfo = [p for p in files if p.startswith("/usr/share/metainfo/") and p.endswith(".metainfo.xml")]
        self.assertEqual(len(metainfo), 1, sorted(files))
        icons = ["/usr/share/icons/hicolor/%s/apps/nuvik.%s" % (size, "svg" if size == "scalable" else "png")
                 for size in ("16x16", "32x32", "48x48", "scalable")]
        expected = ["/usr/%s/nuvik/nuvik-window.so" % self.dirs["lib"], "/usr/share/applications/nuvik.desktop",
                    "/usr/share/nuvik/help.html", "/usr/share/doc/nuvik-gui/copyright",
                    "/usr/share/doc/nuvik-gui/changelog.gz", "/usr/share/lintian/overrides/nuvik-gui"] + icons + metainfo
        self.assertEqual(files, dict.fromkeys(expected, "-rw-r--r--"))
        depends = deb_field(self.debs["nuvik-gui"], "Depends")
        self.assertIn("nuvik (= %s)" % self.version, [d.strip() for d in depends.split(",")])
        self.assertTrue(any(n.startswith("libqt6widgets") for n in depends_names(depends)), depends)

    def test_copyright_is_machine_readable_with_the_license(self):
        with open(os.path.join(os.path.dirname(__file__), "..", "..", "LICENSE"), encoding="utf-8") as f:
            license_words = f.read().split("\n\n", 2)[2].split()  # after the title and copyright line
        for package in ("nuvik", "nuvik-gui"):
            with open(os.path.join(self.extract(package), "usr/share/doc", package, "copyright"), encoding="utf-8") as f:
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
            # gzip -9, with no file name (flag 0x08) and no time stored
            self.assertEqual((head[:3], head[3] & 0x08, head[4:8], head[8]), (b"\x1f\x8b\x08", 0, b"\0\0\0\0", 2), path)
            with gzip.open(path) as f:
                self.assertTrue(f.read())

    def test_lintian_reports_no_errors(self):
        installutil.require_tools(self, "lintian")
        for package, deb in sorted(self.debs.items()):
            result = subprocess.run(["lintian", "--no-cfg", deb], capture_output=True, text=True, timeout=600)
            self.assertEqual([l for l in result.stdout.splitlines() if l.startswith("E:")], [], package)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_command_line_package_alone(self):
        root = self.extract("nuvik")
        # The window with only the command line installed: said on stderr, status 2.
        window = subprocess.run([os.path.join(root, "usr/bin/nuvik")], capture_output=True, text=True,
                                env={"PATH": "/usr/bin:/bin", "HOME": root}, cwd=root, timeout=30)
        self.assertEqual((window.returncode, window.stdout, window.stderr),
                         (2, "", "nuvik: cannot open the window: its module nuvik-window.so is not installed "
                                 "(the window needs the nuvik-gui package)\n"))
        self.assertEqual(os.listdir(root), ["usr"])  # nothing written, no profile file


if __name__ == "__main__":
    unittest.main()
