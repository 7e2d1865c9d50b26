#!/usr/bin/env python3
"""A private CUPS scheduler for the tests: its configuration in a folder of its own, reached
through a local socket there, so a test never sees or changes the machine's printers. Its PDF
printers write into that folder too (out/<queue>.pdf), never into a folder the user or another
print server shares.

Used in two ways:
- imported by the journeys (e2e.py): write_config(), start_cupsd() and pdf_queue_arguments();
- as a program by the C++ tests: `printsystem.py serve FOLDER` writes the configuration, starts
  the scheduler, prints "ready SOCKET" once it answers, and ends it again when its standard
  input closes or it gets SIGTERM. A failure to start is printed and ends it with status 1."""

import ctypes
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

CUPSD = "/usr/sbin/cupsd"
START_WAIT = 10.0
# A PDF printer's description: its paper sizes and printable areas. Only these are taken from
# it; the jobs leave the scheduler as the PDF its own filters make.
PDF_PRINTER_PPD = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"


def socket_path(folder):
    return Path(folder) / "cups.sock"


def output_folder(folder):
    """Where the scheduler's PDF printers write, one file per queue."""
    return Path(folder) / "out"


def pdf_queue_arguments(folder, name):
    """lpadmin's arguments for a PDF printer `name` writing out/<name>.pdf in `folder`."""
    return ["-p", name, "-E", "-v", f"file://{output_folder(folder) / (name + '.pdf')}",
            "-P", str(Path(folder) / "pdf.ppd")]


def _write_pdf_ppd(folder):
    # The PDF that pdftopdf makes for the page is what the printer takes, unchanged.
    try:
        lines = Path(PDF_PRINTER_PPD).read_text(errors="replace").splitlines()
    except OSError as error:
        raise RuntimeError(f"{PDF_PRINTER_PPD} is missing (Debian package printer-driver-cups-pdf)"
                           ) from error
    kept = [line for line in lines if "cupsFilter" not in line]
    kept.insert(1, '*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"')
    (Path(folder) / "pdf.ppd").write_text("\n".join(kept) + "\n")


def write_config(folder):
    """Makes the scheduler's folders and configuration in `folder`; returns its socket's path."""
    folder = Path(folder)
    for name in ("etc/ppd", "cache", "state", "spool", "log", "out"):
        (folder / name).mkdir(parents=True, exist_ok=True)
    _write_pdf_ppd(folder)
    # The filters run as another user and must pass through to the spool folder.
    folder.chmod(0o711)
    (folder / "etc" / "cups-files.conf").write_text(
        f"ServerRoot {folder}/etc\n"
        f"StateDir {folder}/state\n"
        f"CacheDir {folder}/cache\n"
        f"RequestRoot {folder}/spool\n"
        f"AccessLog {folder}/log/access_log\n"
        f"ErrorLog {folder}/log/error_log\n"
        f"PageLog {folder}/log/page_log\n"
        "SystemGroup root\n"
        # The printers write into files of this folder.
        "FileDevice Yes\n")
    (folder / "etc" / "cupsd.conf").write_text(
        f"Listen {socket_path(folder)}\n"
        "LogLevel info\n"
        "Browsing No\n"
        "WebInterface No\n"
        "<Location />\n"
        "  Order allow,deny\n"
        "  Allow all\n"
        "</Location>\n")
    return socket_path(folder)


def _die_with_parent():
    # Runs in the child before exec: whoever started the scheduler takes it along when it dies.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def start_cupsd(folder, log):
    """Starts the scheduler configured in `folder` in the foreground, its output into `log` (an
    open file); returns the process."""
    folder = Path(folder)
    return subprocess.Popen(
        [CUPSD, "-f", "-c", str(folder / "etc" / "cupsd.conf"),
         "-s", str(folder / "etc" / "cups-files.conf")],
        stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True,
        preexec_fn=_die_with_parent)


def answering(folder, lpstat="lpstat"):
    """Whether the scheduler in `folder` answers on its socket."""
    socket = socket_path(folder)
    if not socket.exists():
        return False
    try:
        result = subprocess.run([lpstat, "-h", str(socket), "-r"], capture_output=True, text=True,
                                timeout=START_WAIT)
    except subprocess.TimeoutExpired:
        return False
    return "scheduler is running" in result.stdout


def _serve(folder):
    if not os.access(CUPSD, os.X_OK):
        print(f"{CUPSD} is not installed (Debian package cups)", flush=True)
        return 1
    try:
        write_config(folder)
    except RuntimeError as error:
        print(error, flush=True)
        return 1
    with open(Path(folder) / "log" / "cupsd.out", "wb") as log:
        process = start_cupsd(folder, log)
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    deadline = time.monotonic() + START_WAIT
    while not answering(folder):
        if process.poll() is not None or time.monotonic() > deadline or stopping:
            print(f"cupsd did not answer ({process.poll()})", flush=True)
            process.kill()
            process.wait()
            return 1
        time.sleep(0.05)
    print(f"ready {socket_path(folder)}", flush=True)
    try:
        # Until the caller closes our input or sends SIGTERM.
        while not stopping and sys.stdin.buffer.read1(4096):
            pass
    except (OSError, ValueError):
        pass
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] != "serve":
        print("usage: printsystem.py serve FOLDER", file=sys.stderr)
        sys.exit(2)
    sys.exit(_serve(sys.argv[2]))
