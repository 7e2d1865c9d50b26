#!/usr/bin/env python3
"""Whole-program tests: the built viewer in a real X server with a window manager, driven by key
presses and clicks as a person would, and checked by the files it writes and by screenshots.

  e2e.py xserver-start --state DIR       start Xvfb and openbox for the journeys that follow
  e2e.py xserver-stop --state DIR        stop them, and any program a journey left running
  e2e.py run JOURNEY --bin DIR [--state DIR] [--artifacts DIR]
                                         run one journey from journeys.py; without a running
                                         server in --state it starts a private one for the run

Exit status: 0 passed, 1 failed, 77 skipped (an X tool is missing, or a system service a
journey needs, such as the print scheduler).
Standard library only.
"""

import argparse
import ctypes
import json
import os
import pwd
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import printsystem  # noqa: E402  the scheduler set-up the C++ tests share

SKIP = 77
TOOLS = ("Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "wmctrl", "xwd", "convert")
SCREEN = (1280, 1024)
APP_TITLE = "VELDRANE W95 and NT"
PROGRAM = "querndal"
SETTINGS_FILE = "QUERNDAL.INI"
HELP_FILES = ("QUERNDAL.hlp", "querndal-help")
# Long enough for a slow machine, short enough that a journey fails on its own, with its
# screenshots, before CTest's timeout kills it.
WAIT = 10.0
POLL = 0.02


class JourneyFailed(Exception):
    """A check in a journey did not hold."""


class JourneySkipped(Exception):
    """The machine lacks something the journey needs that is not the program's to provide."""


def missing_tools():
    return [tool for tool in TOOLS if shutil.which(tool) is None]


def wait_until(condition, what, timeout=WAIT):
    """Polls `condition` until it returns something truthy, and returns that; fails naming `what`."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise JourneyFailed(f"gave up after {timeout:g} s waiting for {what}")
        time.sleep(POLL)


def _die_with_parent():
    # Runs in the child before exec: a driver killed by CTest's timeout takes the program with it.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


# ---- processes the driver did not start itself (the fixture's server, a journey's leftovers)

def _proc_alive(pid):
    """True while `pid` runs; a zombie nobody reaps counts as ended."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            state = f.read().rsplit(b")", 1)[1].split()[0]
    except (OSError, IndexError):
        return False
    return state not in (b"Z", b"X")


def _proc_is(pid, name):
    """True when `pid` is still the program called `name`, not a later process given its number."""
    try:
        argv0 = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")[0]
    except OSError:
        return False
    return os.path.basename(argv0.decode(errors="replace")) == name


def _stop_pid(pid, name, timeout=5.0):
    if not _proc_alive(pid) or not _proc_is(pid, name):
        return
    os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + timeout
    while _proc_alive(pid) and time.monotonic() < deadline:
        time.sleep(POLL)
    if _proc_alive(pid):
        os.kill(pid, signal.SIGKILL)


# ---- the X server and the window manager

class XServer:
    """Xvfb and openbox on a display Xvfb picks itself, so parallel runs never clash."""

    def __init__(self, state_dir):
        self.state_dir = Path(state_dir)
        self.state_file = self.state_dir / "xserver.json"
        self.display = None
        self.xvfb = None
        self.openbox = None
        self.runtime_dir = self.state_dir / "runtime"
        self._children = []

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        return env

    def start(self, die_with_parent):
        self.state_dir.mkdir(parents=True, exist_ok=True)
        self.runtime_dir.mkdir(exist_ok=True)
        self.runtime_dir.chmod(0o700)
        (self.state_dir / "programs").mkdir(exist_ok=True)
        preexec = _die_with_parent if die_with_parent else None
        read_end, write_end = os.pipe()
        with open(self.state_dir / "xvfb.log", "wb") as log:
            xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                 "-dpi", "96", "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                start_new_session=True, preexec_fn=preexec)
        os.close(write_end)
        self._children.append(xvfb)
        self.xvfb = xvfb.pid
        try:
            self.display = ":" + self._read_display(read_end)
        finally:
            os.close(read_end)
        with open(self.state_dir / "openbox.log", "wb") as log:
            openbox = subprocess.Popen(
                ["openbox", "--sm-disable"], env=self.env(), stdin=subprocess.DEVNULL,
                stdout=log, stderr=log, start_new_session=True, preexec_fn=preexec)
        self._children.append(openbox)
        self.openbox = openbox.pid
        wait_until(self._window_manager_ready, "openbox to manage the screen")
        self._save()

    def _read_display(self, fd):
        # Xvfb writes the display number once it listens; until then the pipe stays empty.
        deadline = time.monotonic() + WAIT
        data = b""
        while not data.endswith(b"\n"):
            ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(fd, 32) if ready else b""
            if not chunk:
                log = (self.state_dir / "xvfb.log").read_text(errors="replace")
                raise JourneyFailed(f"Xvfb did not report a display:\n{log}")
            data += chunk
        return data.decode().strip()

    def _window_manager_ready(self):
        return subprocess.run(["wmctrl", "-m"], env=self.env(), capture_output=True,
                              timeout=WAIT).returncode == 0

    def _save(self):
        self.state_file.write_text(json.dumps(
            {"display": self.display, "xvfb": self.xvfb, "openbox": self.openbox}))

    def load(self):
        """Takes over a server the fixture started; False when there is none running."""
        try:
            state = json.loads(self.state_file.read_text())
        except (OSError, ValueError):
            return False
        self.display, self.xvfb, self.openbox = state["display"], state["xvfb"], state["openbox"]
        return _proc_alive(self.xvfb) and _proc_is(self.xvfb, "Xvfb")

    def stop(self):
        programs = self.state_dir / "programs"
        if programs.is_dir():
            for entry in programs.iterdir():
                _stop_pid(int(entry.name), PROGRAM)
                entry.unlink()
        if self.openbox:
            _stop_pid(self.openbox, "openbox")
        if self.xvfb:
            _stop_pid(self.xvfb, "Xvfb")
        for child in self._children:
            child.wait()
        shutil.rmtree(self.state_dir / "journeys", ignore_errors=True)
        self.state_file.unlink(missing_ok=True)


def watch(owner, pids):
    """Stops the server when the CTest run that started it ends without its cleanup step (killed,
    interrupted), so no Xvfb outlives it; ends by itself when the server is stopped."""
    names = {pid: name for pid, name in pids}
    try:
        fds = [os.pidfd_open(owner)] + [os.pidfd_open(pid) for pid in names]
        select.select(fds, [], [])
    except (AttributeError, OSError):
        while _proc_alive(owner) and all(_proc_alive(pid) for pid in names):
            time.sleep(0.5)
    for pid, name in names.items():
        _stop_pid(pid, name)


def xserver_start(state_dir):
    server = XServer(state_dir)
    server.load()
    server.stop()  # whatever a run killed before its cleanup left behind
    server.start(die_with_parent=False)
    subprocess.Popen(
        [sys.executable, __file__, "watch", str(os.getppid()),
         f"{server.xvfb}:Xvfb", f"{server.openbox}:openbox"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    print(f"Xvfb {server.display} (pid {server.xvfb}), openbox (pid {server.openbox})")


def xserver_stop(state_dir):
    server = XServer(state_dir)
    server.load()
    server.stop()


# ---- the program under test

class Program:
    """One run of the viewer from its program folder."""

    def __init__(self, journey, folder, process, log_path):
        self.journey = journey
        self.folder = folder
        self.process = process
        self.log_path = log_path
        self._window = None

    @property
    def pid(self):
        return self.process.pid

    @property
    def settings_path(self):
        return self.folder / SETTINGS_FILE

    def running(self):
        return self.process.poll() is None

    def _windows(self, visible, title=f"^{APP_TITLE}$"):
        # --all: xdotool's default joins the conditions with "or", which would take in every
        # window of that title, whoever owns it.
        args = ["search", "--all"] + (["--onlyvisible"] if visible else [])
        args += ["--pid", str(self.pid), "--name", title]
        result = self.journey.xdotool(*args, check=False)
        return result.stdout.split()

    def _require_running(self):
        if not self.running():
            raise JourneyFailed(f"the program ended early with status {self.process.returncode}")

    def wait_main_window(self):
        """Waits until the main window is on the screen and start-up has finished; returns its id.

        The main window is shown part-way through start-up, which then reads the settings. The
        slide-show window is loaded hidden near the end of start-up, so once it exists too, a key
        sent now reaches a program that has finished starting."""
        def ready():
            self._require_running()
            visible = self._windows(visible=True)
            return visible if len(visible) == 1 and len(self._windows(visible=False)) >= 2 else None
        self._window = wait_until(ready, "the main window and the hidden slide-show window")[0]
        return self._window

    @property
    def window(self):
        if self._window is None:
            self.wait_main_window()
        return self._window

    def activate(self):
        self.journey.xdotool("windowactivate", "--sync", self.window)

    def other_windows(self):
        """The program's windows on the screen besides the main window (the slide show, a dialog,
        a message box), whatever their titles."""
        self._require_running()
        return [w for w in self._windows(visible=True, title="") if w != self.window]

    def main_window_shown(self):
        return self.journey.viewable(self.window)

    def wait_main_window_hidden(self, timeout=WAIT):
        def hidden():
            self._require_running()
            return not self.main_window_shown()
        wait_until(hidden, "the main window to be hidden", timeout)

    def wait_main_window_back(self, timeout=WAIT):
        def back():
            self._require_running()
            return self.main_window_shown()
        wait_until(back, "the main window to come back", timeout)

    def wait_other_window(self, what, timeout=WAIT):
        """Waits until exactly one window besides the main window is on the screen; returns it."""
        def one():
            others = self.other_windows()
            return others[0] if len(others) == 1 else None
        return wait_until(one, what, timeout)

    def key_in(self, window, *keys):
        """Presses keys in one of the program's windows other than the main window."""
        self._require_running()
        self.journey.xdotool("windowactivate", "--sync", window)
        self.journey.xdotool("key", "--clearmodifiers", *keys)

    def type_in(self, window, text):
        self._require_running()
        self.journey.xdotool("windowactivate", "--sync", window)
        self.journey.xdotool("type", "--clearmodifiers", text)

    def key(self, *keys):
        """Presses keys (xdotool names: "F4", "alt+e", "Return") in the main window."""
        self._require_running()
        self.activate()
        self.journey.xdotool("key", "--clearmodifiers", *keys)

    def type_text(self, text):
        self._require_running()
        self.activate()
        self.journey.xdotool("type", "--clearmodifiers", text)

    def click(self, x, y, button=1, double=False):
        """Clicks at (x, y) pixels from the main window's top left corner (inside its frame)."""
        self._require_running()
        self.activate()
        left, top, _, _ = self.geometry()
        self.journey.move_pointer(left + x, top + y)
        self.journey.xdotool("click", "--repeat", "2" if double else "1", str(button))

    def close_window(self):
        """Asks the window manager to close the main window, as its title bar's close button does."""
        self.journey.run_tool(["wmctrl", "-i", "-c", self.window])

    def geometry(self):
        """The main window's client area on the screen: (x, y, width, height) in pixels."""
        out = self.journey.run_tool(["xwininfo", "-id", self.window]).stdout
        fields = dict(line.strip().split(":", 1) for line in out.splitlines() if ":" in line)
        return tuple(int(fields[k]) for k in
                     ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def window_states(self):
        """The window manager's states of the main window (MAXIMIZED_VERT, ...)."""
        out = self.journey.run_tool(["xprop", "-id", self.window, "_NET_WM_STATE"]).stdout
        return {s.strip().removeprefix("_NET_WM_STATE_") for s in out.split("=", 1)[-1].split(",")}

    def wait_exit(self, timeout=WAIT):
        """Waits until the program ends by itself; returns its exit status."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise JourneyFailed(f"the program was still running {timeout:g} s later") from None

    def kill(self):
        # The whole process group: whatever the program started goes with it.
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait()
        self.journey.forget_program(self)

    def log(self):
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""


class FileState:
    """A file's bytes and modification time, to tell whether anything wrote it."""

    def __init__(self, path):
        self.path = Path(path)
        try:
            stat = self.path.stat()
            self.bytes = self.path.read_bytes()
            self.mtime = stat.st_mtime_ns
            self.inode = stat.st_ino
        except FileNotFoundError:
            self.bytes = self.mtime = self.inode = None

    def __eq__(self, other):
        return (self.bytes, self.mtime, self.inode) == (other.bytes, other.mtime, other.inode)

    def __repr__(self):
        return f"{self.path.name}: {self.bytes!r} (mtime {self.mtime}, inode {self.inode})"


class Screen:
    """One capture of the whole screen: its pixels, and the capture to save as a screenshot."""

    def __init__(self, rgb, capture):
        self.width, self.height = SCREEN
        if len(rgb) != self.width * self.height * 3:
            raise JourneyFailed(f"a screen capture of {len(rgb)} bytes is not {SCREEN} in RGB")
        self.rgb = rgb
        self.capture = capture
        self.path = None

    def pixel(self, x, y):
        x, y = int(x), int(y)
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def is_colour(self, x, y, colour, tolerance=12):
        return all(abs(a - b) <= tolerance for a, b in zip(self.pixel(x, y), colour))


# ---- a print system of the journey's own

CUPSD = printsystem.CUPSD
PRINT_TOOLS = ("lpadmin", "lpstat", "pdfinfo", "pdftoppm")
# Time for a job to pass through the filters into a PDF on a slow, busy machine.
PRINT_WAIT = 30.0
# cups-pdf's own driver; its queues write a PDF for each job.
CUPS_PDF_DRIVER = "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"


def _cups_pdf_setting(key, fallback):
    """A value of cups-pdf's configuration, with ${HOME} and ${USER} expanded as cups-pdf does:
    from the user database, since it runs under the scheduler and not with our environment."""
    value = fallback
    try:
        for line in Path("/etc/cups/cups-pdf.conf").read_text(errors="replace").splitlines():
            line = line.strip()
            if line.startswith(key + " "):
                value = line[len(key) + 1:].strip()
    except OSError:
        pass
    user = pwd.getpwuid(os.getuid())
    return value.replace("${HOME}", user.pw_dir).replace("${USER}", user.pw_name)


class PrintSystem:
    """A CUPS scheduler of the journey's own, with its configuration in a temporary folder and
    reached through a socket there, so a journey never sees or changes the machine's printers.
    Its cups-pdf queues write into cups-pdf's usual output folder; whatever they write there is
    removed again."""

    def __init__(self, journey):
        if not os.access(CUPSD, os.X_OK):
            raise JourneySkipped(f"{CUPSD} is not installed (Debian package cups): no print system")
        # lpadmin lives in sbin, which not every PATH holds.
        search = os.pathsep.join([os.environ.get("PATH", ""), "/usr/sbin", "/usr/bin"])
        self.tools = {tool: shutil.which(tool, path=search) for tool in PRINT_TOOLS}
        missing = [tool for tool, path in self.tools.items() if path is None]
        if missing:
            raise JourneyFailed(f"missing {', '.join(missing)} (scripts/setup.sh installs them)")
        self.journey = journey
        # In /tmp rather than the journey's folder: a socket's path may not be longer than 107
        # bytes, and a build folder can be deep.
        self.folder = Path(tempfile.mkdtemp(prefix="querndal-e2e-cups-"))
        self.home = self.folder / "home"
        self.process = None
        self.output = Path(_cups_pdf_setting("Out", "/var/spool/cups-pdf/${USER}"))
        self._output_existed = self.output.exists()
        self._pdfs_before = self._pdfs()
        self._log_folder = Path(_cups_pdf_setting("Log", "/var/log/cups"))
        self._logs_to_remove = []

    @property
    def socket(self):
        return self.folder / "cups.sock"

    def program_env(self):
        """What the program's environment needs to print here: libcups reads where the scheduler
        is, and the user's own default printer, from these."""
        return {"CUPS_SERVER": str(self.socket), "HOME": str(self.home),
                "LPDEST": None, "PRINTER": None, "CUPS_USER": None}

    def _env(self):
        env = dict(os.environ)
        for key, value in self.program_env().items():
            if value is None:
                env.pop(key, None)
            else:
                env[key] = value
        return env

    def start(self):
        printsystem.write_config(self.folder)
        (self.folder / "home").mkdir()
        with open(self.folder / "log" / "cupsd.out", "wb") as log:
            self.process = printsystem.start_cupsd(self.folder, log)

        def answering():
            if self.process.poll() is not None:
                raise JourneyFailed(f"cupsd ended at once ({self.process.returncode}){self.error_log()}")
            return self.socket.exists() and \
                "scheduler is running" in self.run("lpstat", "-r", check=False).stdout
        wait_until(answering, "the private cupsd to answer")

    def running(self):
        return self.process is not None and self.process.poll() is None

    def run(self, tool, *args, check=True):
        """Runs a CUPS tool against this scheduler."""
        argv = [self.tools.get(tool) or tool, "-h", str(self.socket), *args]
        try:
            result = subprocess.run(argv, env=self._env(), capture_output=True, text=True,
                                    timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise JourneyFailed(f"{' '.join(argv)} did not finish in {WAIT:g} s") from None
        if check and result.returncode != 0:
            raise JourneyFailed(f"{' '.join(argv)} failed ({result.returncode}): "
                                f"{result.stdout}{result.stderr}{self.error_log()}")
        return result

    def add_pdf_queue(self, name, default=True):
        """A cups-pdf queue, the scheduler's default unless told otherwise. Its PDFs are named
        with the job's number, so a journey can tell its own from others in the shared folder."""
        log = self._log_folder / f"cups-pdf-{name}_log"
        if not log.exists():
            self._logs_to_remove.append(log)
        self.run("lpadmin", "-p", name, "-E", "-v", "cups-pdf:/", "-m", CUPS_PDF_DRIVER,
                 "-o", "Label=2")
        if default:
            self.run("lpadmin", "-d", name)

    def pending_jobs(self):
        """The jobs not finished yet, as lpstat lists them (None when lpstat failed)."""
        result = self.run("lpstat", "-o", check=False)
        return result.stdout.strip() if result.returncode == 0 else None

    def job_ids(self, which="completed"):
        """The numbers of this scheduler's jobs ("completed", "not-completed" or "all")."""
        lines = self.run("lpstat", "-W", which, "-o", check=False).stdout.splitlines()
        return [int(m.group(1)) for m in (re.match(r"\S+-(\d+)\s", line) for line in lines) if m]

    def _pdfs(self):
        return set(self.output.glob("*.pdf")) if self.output.is_dir() else set()

    def pdfs_of_job(self, job):
        """The PDFs that appeared since the start and carry the job's number."""
        return sorted(p for p in self._pdfs() - self._pdfs_before
                      if re.search(rf"job_{job}\b", p.name))

    def error_log(self):
        try:
            text = (self.folder / "log" / "error_log").read_text(errors="replace")
        except OSError:
            return ""
        return f"\n--- cupsd error_log ---\n{text[-3000:]}"

    def keep_evidence(self):
        target = self.journey.artifacts
        target.mkdir(parents=True, exist_ok=True)
        for name in ("error_log", "cupsd.out"):
            source = self.folder / "log" / name
            if source.is_file():
                shutil.copy2(source, target / f"cups-{name}")

    def stop(self):
        """Ends the scheduler and removes everything it and its queues made."""
        ours = set()
        if self.running():
            # A PDF is whole, and cups-pdf done with the folder, once no job is left.
            deadline = time.monotonic() + WAIT
            while self.pending_jobs() and time.monotonic() < deadline:
                time.sleep(0.1)
            ours = set(self.job_ids("all"))
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for pdf in self._pdfs() - self._pdfs_before:
            number = re.search(r"job_(\d+)\b", pdf.name)
            if number and int(number.group(1)) in ours:
                pdf.unlink(missing_ok=True)
        if not self._output_existed:
            try:
                self.output.rmdir()
            except OSError:
                pass  # not empty: something else prints there too
        for log in self._logs_to_remove:
            log.unlink(missing_ok=True)
        shutil.rmtree(self.folder, ignore_errors=True)


class Journey:
    """What a journey works with: a desktop, temporary folders, the program, screenshots."""

    def __init__(self, name, server, bin_dir, artifacts_dir):
        self.name = name
        self.server = server
        self.bin_dir = Path(bin_dir)
        self.artifacts = Path(artifacts_dir) / name
        # Beside the server's state, so the fixture's cleanup removes what a killed run left.
        self.root = (server.state_dir / "journeys" / name).resolve()
        shutil.rmtree(self.root, ignore_errors=True)
        self.root.mkdir(parents=True)
        self.programs = []
        self.print_systems = []
        self._cleanups = []
        self._shots = 0

    # -- tools
    def run_tool(self, argv, check=True):
        try:
            result = subprocess.run(argv, env=self.server.env(), capture_output=True, text=True,
                                    timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise JourneyFailed(f"{' '.join(argv)} did not finish in {WAIT:g} s") from None
        if check and result.returncode != 0:
            raise JourneyFailed(f"{' '.join(argv)} failed ({result.returncode}): {result.stderr}")
        return result

    def xdotool(self, *args, check=True):
        return self.run_tool(["xdotool", *args], check=check)

    def window_info(self, window):
        """xwininfo's fields for a window (an empty dict once it is gone)."""
        out = self.run_tool(["xwininfo", "-id", str(window)], check=False).stdout
        return {k.strip(): v.strip() for k, v in
                (line.split(":", 1) for line in out.splitlines() if ":" in line)}

    def window_rect(self, window):
        """(x, y, width, height) of a window's own area on the screen, without the frame."""
        info = self.window_info(window)
        return tuple(int(info[k]) for k in
                     ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def window_title(self, window):
        return self.xdotool("getwindowname", str(window), check=False).stdout.rstrip("\n")

    def viewable(self, window):
        return self.window_info(window).get("Map State") == "IsViewable"

    def move_pointer(self, x, y):
        """Moves the pointer to (x, y) on the screen and waits until it is there."""
        out = self.xdotool("getmouselocation", "--shell").stdout
        here = dict(line.split("=", 1) for line in out.split() if "=" in line)
        # xdotool's --sync waits for a motion, and there is none when the pointer is already
        # there (a journey before may have left it on the same spot).
        if (here.get("X"), here.get("Y")) != (str(x), str(y)):
            self.xdotool("mousemove", "--sync", str(x), str(y))

    def click_screen(self, x, y, button=1):
        """Clicks at (x, y) on the screen, in whatever window is there."""
        self.move_pointer(x, y)
        self.xdotool("click", str(button))

    # -- folders and files
    def folder(self, name):
        """A new empty folder in the journey's temporary area."""
        path = self.root / name
        path.mkdir(parents=True)
        return path

    def program_folder(self, name="program", settings=None):
        """A program folder holding the built executable and help file, and optionally a
        settings file (bytes, or a str written as UTF-8)."""
        path = self.folder(name)
        shutil.copy2(self.bin_dir / PROGRAM, path / PROGRAM)
        for extra in HELP_FILES:
            source = self.bin_dir / extra
            if source.is_file():
                shutil.copy2(source, path / extra)
        if settings is not None:
            self.write_settings(path, settings)
        return path

    @staticmethod
    def settings_record(folder, interval="3", colour=3, loop=1, hide=0):
        """One settings record as the program writes it."""
        return f'{interval},{colour},{loop},"{folder}",{hide}\r\n'.encode()

    @staticmethod
    def write_settings(program_folder, settings):
        data = settings.encode() if isinstance(settings, str) else settings
        (Path(program_folder) / SETTINGS_FILE).write_bytes(data)

    @staticmethod
    def read_settings(program_folder):
        """The settings file's bytes, or None when there is none."""
        path = Path(program_folder) / SETTINGS_FILE
        return path.read_bytes() if path.exists() else None

    def make_pictures(self, folder, names, size="64x48"):
        """Small pictures, of the type each name's extension says, in several colours."""
        colours = ("red", "green", "blue", "orange", "purple", "gray")
        for i, name in enumerate(names):
            self.run_tool(["convert", "-size", size, f"xc:{colours[i % len(colours)]}",
                           str(Path(folder) / name)])

    def wait_file_changes(self, path, before, timeout=WAIT):
        """Waits until `path` differs from the FileState `before` and holds something; returns the
        new state."""
        def changed():
            now = FileState(path)
            return now if now != before and now.bytes else None
        return wait_until(changed, f"{Path(path).name} to be written", timeout)

    def check(self, condition, message):
        if not condition:
            raise JourneyFailed(message)

    def check_equal(self, actual, expected, what):
        if actual != expected:
            raise JourneyFailed(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")

    # -- the program
    def start(self, program_folder, env=None):
        """Starts the program from its program folder, as a person would, with no arguments.
        `env` adds to the program's environment; a value of None takes that variable away."""
        folder = Path(program_folder)
        extra = env or {}
        env = self.server.env()
        for key in [k for k in env if k.startswith("QT_")]:
            del env[key]
        # The thumbnail cache is the journey's own, never the user's.
        env.update(QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=str(self.server.runtime_dir),
                   XDG_CACHE_HOME=str(self.root / "cache"), LC_ALL="C.UTF-8")
        for key, value in extra.items():
            if value is None:
                env.pop(key, None)
            else:
                env[key] = value
        log_path = self.root / f"{folder.name}-{len(self.programs)}.log"
        with open(log_path, "wb") as log:
            process = subprocess.Popen([str(folder / PROGRAM)], cwd=self.root, env=env,
                                       stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                       start_new_session=True, preexec_fn=_die_with_parent)
        program = Program(self, folder, process, log_path)
        self.programs.append(program)
        # Told to the fixture, whose cleanup ends it should this driver be killed first.
        (self.server.state_dir / "programs" / str(process.pid)).touch()
        return program

    def forget_program(self, program):
        (self.server.state_dir / "programs" / str(program.pid)).unlink(missing_ok=True)

    # -- evidence
    def _capture(self):
        xwd = subprocess.run(["xwd", "-root", "-silent"], env=self.server.env(),
                             capture_output=True, timeout=WAIT)
        return xwd.stdout if xwd.returncode == 0 else None

    def screenshot(self, label, capture=None):
        """Saves the whole screen (or a capture taken by grab) as <artifacts>/<n>-<label>.png;
        kept when the journey fails."""
        self.artifacts.mkdir(parents=True, exist_ok=True)
        self._shots += 1
        path = self.artifacts / f"{self._shots:02d}-{label}.png"
        capture = capture or self._capture()
        if capture:
            subprocess.run(["convert", "xwd:-", f"png:{path}"], input=capture, timeout=WAIT)
        return path

    def grab(self):
        """The screen's pixels now, to read colours from."""
        capture = self._capture()
        if not capture:
            raise JourneyFailed("xwd could not capture the screen")
        rgb = subprocess.run(["convert", "xwd:-", "-depth", "8", "rgb:-"], input=capture,
                             capture_output=True, timeout=WAIT).stdout
        return Screen(rgb, capture)

    def wait_screen(self, condition, what, label, timeout=WAIT):
        """Polls screen captures until `condition(screen)` holds; saves the last capture as a
        screenshot named `label` either way and returns the screen. On failure the message
        names the screenshot and says what `condition` saw last (when it returns a str, the
        str means "not yet, because ...")."""
        deadline = time.monotonic() + timeout
        while True:
            screen = self.grab()
            verdict = condition(screen)
            if verdict is True:
                screen.path = self.screenshot(label, screen.capture)
                return screen
            if time.monotonic() > deadline:
                path = self.screenshot(label, screen.capture)
                raise JourneyFailed(f"gave up after {timeout:g} s waiting for {what}"
                                    f"{': ' + verdict if isinstance(verdict, str) else ''}"
                                    f"\n  screenshot: {path}")
            time.sleep(POLL)

    def keep_evidence(self):
        self.artifacts.mkdir(parents=True, exist_ok=True)
        for system in self.print_systems:
            system.keep_evidence()
        for program in self.programs:
            if program.log_path.exists():
                shutil.copy2(program.log_path, self.artifacts / program.log_path.name)
            if program.settings_path.exists():
                shutil.copy2(program.settings_path,
                             self.artifacts / f"{program.folder.name}-{SETTINGS_FILE}")

    def on_finish(self, cleanup):
        """Runs `cleanup` when the journey ends, passed or not, after its programs are ended;
        the last registered runs first."""
        self._cleanups.append(cleanup)

    def print_system(self):
        """A private print scheduler for this journey, running, with no printer yet; stopped
        and cleaned away when the journey ends. Skips the journey when there is no CUPS."""
        system = PrintSystem(self)
        self.print_systems.append(system)
        self.on_finish(system.stop)
        system.start()
        return system

    def finish(self, passed):
        for program in self.programs:
            program.kill()
        while self._cleanups:
            try:
                self._cleanups.pop()()
            except Exception:  # the rest must still run: nothing may be left behind
                traceback.print_exc()
        if passed and not os.environ.get("E2E_KEEP_ARTIFACTS"):
            shutil.rmtree(self.artifacts, ignore_errors=True)
        shutil.rmtree(self.root, ignore_errors=True)


def run_journey(name, bin_dir, state_dir, artifacts_dir):
    import journeys

    body = journeys.JOURNEYS.get(name)
    if body is None:
        print(f"no journey named {name}; known: {', '.join(sorted(journeys.JOURNEYS))}")
        return 1
    if not (Path(bin_dir) / PROGRAM).is_file():
        print(f"{Path(bin_dir) / PROGRAM} is not built")
        return 1

    # Stopped politely (an interrupted run): clean up as after a failure. A SIGKILL cannot be
    # caught; the program goes with the driver then (see _die_with_parent).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped from outside"))
    private = None
    server = XServer(state_dir)
    if not server.load():
        private = XServer(tempfile.mkdtemp(prefix="querndal-e2e-x-"))
        private.start(die_with_parent=True)
        server = private

    journey = Journey(name, server, bin_dir, artifacts_dir)
    shutil.rmtree(journey.artifacts, ignore_errors=True)
    status = 1
    try:
        body(journey)
        status = 0
    except JourneySkipped as why:
        print(f"skipped: {why}")
        status = SKIP
    except BaseException as error:
        print(f"FAILED: {name}: {error}" if isinstance(error, JourneyFailed)
              else traceback.format_exc())
        try:
            journey.screenshot("failure")
            journey.keep_evidence()
        except (OSError, subprocess.SubprocessError) as evidence_error:
            print(f"evidence incomplete: {evidence_error}")
        for program in journey.programs:
            if program.log():
                print(f"--- program output ({program.log_path.name}):\n{program.log()}")
        print(f"screenshots and files kept in {journey.artifacts}")
    finally:
        # A skipped journey has nothing to show, like a passed one.
        journey.finish(status != 1)
        if private:
            private.stop()
            shutil.rmtree(private.state_dir, ignore_errors=True)
    return status


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    for command in ("xserver-start", "xserver-stop"):
        sub.add_parser(command).add_argument("--state", required=True)
    run = sub.add_parser("run")
    run.add_argument("journey")
    run.add_argument("--bin", required=True, help="folder of the built querndal")
    run.add_argument("--state", default=os.path.join(tempfile.gettempdir(), "querndal-e2e-none"))
    run.add_argument("--artifacts", default="e2e-artifacts")
    watcher = sub.add_parser("watch")
    watcher.add_argument("owner", type=int)
    watcher.add_argument("pids", nargs="+")
    args = parser.parse_args()

    if args.command == "watch":
        watch(args.owner, [(int(p), n) for p, n in (item.split(":") for item in args.pids)])
        return 0
    if args.command == "xserver-stop":
        xserver_stop(args.state)
        return 0
    missing = missing_tools()
    if missing:
        print(f"skipped: missing {', '.join(missing)} (scripts/setup.sh installs them)")
        return SKIP
    if args.command == "xserver-start":
        xserver_start(args.state)
        return 0
    return run_journey(args.journey, args.bin, args.state, args.artifacts)


if __name__ == "__main__":
    sys.dont_write_bytecode = True  # nothing written into the source tree
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    # journeys.py imports this file as e2e: one module, so its JourneyFailed is this one.
    sys.modules.setdefault("e2e", sys.modules[__name__])
    sys.exit(main())
