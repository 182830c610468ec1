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


def cache(build):
    """The build's CMakeCache.txt as a dict of name -> value."""
    values = {}
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r"^([A-Za-z0-9_.-]+):[A-Z]+=(.*)$", line.rstrip("\n"))
            if m:
                values[m.group(1)] = m.group(2)
    return values


def is_on(value):
    return value.upper() in ("ON", "1", "TRUE", "YES", "Y")


def has_window(build, values):
    """Whether this build made the window module (it sits beside the executable)."""
    return is_on(values.get("NUVIK_BUILD_WINDOW", "OFF")) and \
        os.path.isfile(os.path.join(build, version_header(build)["NUVIK_MODULE_NAME"]))


def version_header(build):
    """The #defines of the generated Version.h (the one place of the version)."""
    defines = {}
    with open(os.path.join(build, "generated", "Version.h"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r'^#define (\w+) "(.*)"$', line.strip())
            if m:
                defines[m.group(1)] = m.group(2)
    return defines


def install_dirs(values):
    """bindir, libdir, datadir and mandir, relative to the prefix."""
    dataroot = values.get("CMAKE_INSTALL_DATAROOTDIR") or "share"
    return {
        "bin": values.get("CMAKE_INSTALL_BINDIR") or "bin",
        "lib": values.get("CMAKE_INSTALL_LIBDIR") or "lib",
        "data": values.get("CMAKE_INSTALL_DATADIR") or dataroot,
        "man": values.get("CMAKE_INSTALL_MANDIR") or dataroot + "/man",
    }


def require_tools(test_case, *tools):
    """Fails when a tool the test needs is missing: scripts/deps.sh installs them."""
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        test_case.fail("missing tools: %s (scripts/deps.sh test installs them)" % " ".join(missing))


# Starts nuvik on a private X display, waits (at most 30 s, and only while
# nuvik runs) for its window by title, closes it with Escape, then waits for
# nuvik and reports its exit status.
_WINDOW_SCRIPT = r"""
"$NUVIK" &
pid=$!
wid=
for i in $(seq 1 300); do
  kill -0 $pid 2>/dev/null || break
  wid=$(xdotool search --name "^$TITLE\$" 2>/dev/null | head -n 1)
  [ -n "$wid" ] && break
  sleep 0.1
done
if [ -z "$wid" ]; then
  echo "window-never-appeared" >&2
  kill $pid 2>/dev/null
  wait $pid
  exit 97
fi
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 0.3
xdotool key --clearmodifiers Escape
for i in $(seq 1 100); do
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
if kill -0 $pid 2>/dev/null; then
  echo "window-did-not-close" >&2
  kill $pid
  wait $pid
  exit 98
fi
wait $pid
"""


def run_window(nuvik, title, env, cwd):
    """Runs nuvik's window under xvfb-run and closes it with Escape."""
    env = dict(env, NUVIK=nuvik, TITLE=title)
    return subprocess.run(
        ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "bash", "-c", _WINDOW_SCRIPT],
        capture_output=True, text=True, env=env, cwd=cwd, timeout=120)
