"""The Debian packages that cpack makes: their files, dependencies and lintian's
verdict, and the program they install, run from another directory."""
# What this guards (file lists, modes, dependencies, the installed layout) lies
# beyond any fault planted in the code.
import glob
import os
import re
import unittest

import nsutil

ICONS = " ".join(
    "share/icons/hicolor/%s/apps/nuvik.%s" % (size, "svg" if size == "scalable" else "png")
    for size in ("16x16", "32x32", "48x48", "scalable")
)
FILES = {
    "nuvik": "bin/nuvik share/man/man1/nuvik.1.gz share/doc/nuvik/copyright "
    "share/doc/nuvik/changelog.gz share/bash-completion/completions/nuvik",
    "nuvik-gui": "lib/nuvik/nuvik-window.so share/applications/nuvik.desktop "
    "share/applications/nuvik-hosts.desktop share/nuvik/help.html "
    "share/doc/nuvik-gui/copyright share/doc/nuvik-gui/changelog.gz "
    "share/lintian/overrides/nuvik-gui share/metainfo/org.nuvik.nuvik.metainfo.xml " + ICONS,
}


class Packages(unittest.TestCase):
    def setUp(self):
        _, build = nsutil.require(self, "cpack", "dpkg-deb", "lintian", "xvfb-run", "xdotool")
        self.tmp = nsutil.tempdir(self, "nuvik-deb-")
        config = build + "/CPackConfig.cmake"
        nsutil.run(*("cpack -G DEB --config %s -B %s" % (config, self.tmp)).split(), timeout=600)
        self.debs = {}
        self.debs = {self.field(deb, "Package"): deb for deb in glob.glob(self.tmp + "/*.deb")}
        with open(build + "/generated/Version.h") as f:
            self.data_dir = re.search(r'NUVIK_DATA_RELDIR "(.*)"', f.read()).group(1)

    def field(self, package, name):
        return nsutil.run("dpkg-deb", "-f", self.debs.get(package, package), name).stdout.strip()

    def test_files_dependencies_lintian_and_the_installed_program(self):
        version = self.field("nuvik", "Version")
        for package, files in FILES.items():
            out = nsutil.run("dpkg-deb", "-c", self.debs[package]).stdout
            listing = [line.split() for line in out.splitlines()]
            self.assertEqual({f[0] for f in listing if f[0][0] == "d"}, {"drwxr-xr-x"})
            modes = {f[5][1:]: f[0] for f in listing if f[0][0] != "d"}
            want = {"/usr/" + f: "-rw-r--r--" for f in files.split()}
            self.assertEqual(
                modes, want | {"/usr/bin/nuvik": "-rwxr-xr-x"} if package == "nuvik" else want
            )
            self.assertEqual(self.field(package, "Version"), version)
            lintian = nsutil.run(
                "lintian", "--no-cfg", self.debs[package], check=False, timeout=600
            )
            self.assertEqual(lintian.returncode, 0, lintian.stdout + lintian.stderr)
        depends = self.field("nuvik", "Depends")
        self.assertNotRegex(depends, "qt|xcb")  # installs on a headless box
        self.assertRegex(depends, r"(^|, )libmnl0 ")
        gui = self.field("nuvik-gui", "Depends")
        self.assertRegex(gui, r"(^|, )nuvik \(= %s\),.* libqt6widgets6" % version)
        # Run from elsewhere: first the command line alone, then with the window.
        root, home = self.tmp + "/root", self.tmp + "/home"
        os.mkdir(home)
        nuvik = root + "/usr/bin/nuvik"
        nsutil.run("dpkg-deb", "-x", self.debs["nuvik"], root)
        self.assertEqual(nsutil.run(nuvik, "--version", cwd=home).stdout, "NUVIK %s\n" % version)
        alone = nsutil.run(nuvik, check=False, cwd=home, env={"HOME": home})
        self.assertEqual(alone.returncode, 2)
        self.assertEqual(
            alone.stderr,
            "nuvik: cannot open the window: its module nuvik-window.so "
            "is not installed (the window needs the nuvik-gui package)\n",
        )
        nsutil.run("dpkg-deb", "-x", self.debs["nuvik-gui"], root)
        # Where "Help" looks.
        self.assertTrue(os.path.isfile(os.path.join(root, "usr/bin", self.data_dir, "help.html")))
        window = nsutil.window(nuvik, "Escape", home, cwd=home)
        self.assertEqual(window.returncode, 0, window.stderr)
        self.assertNotIn("nuvik:", window.stderr)


if __name__ == "__main__":
    unittest.main()
