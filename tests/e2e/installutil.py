"""Helpers of the install and package tests: what the build was configured
with, the generated version header, and the window run under Xvfb."""
import os
import re
import shutil
import subprocess
import unittest


def build_dir():
    path = os.environ.get("NUVIK_BUILD_DIR")
    if not path:
        raise unittest.SkipTest("NUVIK_BUILD_DIR is not set (run through ctest)")
    return path


def _matches(path, pattern):
    with open(path, encoding="utf-8") as f:
        return dict(m.groups() for m in map(re.compile(pattern).match, f) if m)


def cache(build):
    """The build's CMakeCache.txt as a dict of name -> value."""
    return _matches(os.path.join(build, "CMakeCache.txt"), r"([A-Za-z0-9_.-]+):[A-Z]+=(.*)$")


def version_header(build):
    """The #defines of the generated Version.h (the one place of the version)."""
    return _matches(os.path.join(build, "generated", "Version.h"), r'#define (\w+) "(.*)"$')


def is_on(value):
    return value.upper() in ("ON", "1", "TRUE", "YES", "Y")


def has_window(build, values):
    """Whether this build made the window module (it sits beside the executable)."""
    return is_on(values.get("NUVIK_BUILD_WINDOW", "OFF")) and \
        os.path.isfile(os.path.join(build, version_header(build)["NUVIK_MODULE_NAME"]))


def install_dirs(values):
    """bindir, libdir, datadir and mandir, relative to the prefix."""
    data = values.get("CMAKE_INSTALL_DATADIR") or values.get("CMAKE_INSTALL_DATAROOTDIR") or "share"
    return {"bin": values.get("CMAKE_INSTALL_BINDIR") or "bin", "lib": values.get("CMAKE_INSTALL_LIBDIR") or "lib",
            "data": data, "man": values.get("CMAKE_INSTALL_MANDIR") or data + "/man"}


def require_tools(test_case, *tools):
    """Fails when a tool the test needs is missing: scripts/deps.sh installs them."""
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        test_case.fail("missing tools: %s (scripts/deps.sh test installs them)" % " ".join(missing))


# Starts nuvik on a private X display, waits at most 30 s for its window by
# title, closes it with Escape, then waits at most 10 s for nuvik to end and
# reports its exit status.
_WINDOW_SCRIPT = r"""
"$NUVIK" & pid=$!
wid=$(timeout 30 xdotool search --sync --name "^$TITLE\$" 2>/dev/null | head -n 1)
[ -n "$wid" ] || { echo window-never-appeared >&2; kill $pid; wait $pid; exit 97; }
xdotool windowfocus --sync "$wid" 2>/dev/null; sleep 0.3; xdotool key --clearmodifiers Escape
timeout 10 tail --pid=$pid -f /dev/null || { echo window-did-not-close >&2; kill $pid; exit 98; }
wait $pid
"""


def run_window(nuvik, title, env, cwd):
    """Runs nuvik's window under xvfb-run and closes it with Escape."""
    return subprocess.run(
        ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "bash", "-c", _WINDOW_SCRIPT],
        capture_output=True, text=True, env=dict(env, NUVIK=nuvik, TITLE=title), cwd=cwd, timeout=120)
