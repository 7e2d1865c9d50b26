"""Journeys through the whole program, each run as its own CTest test by e2e.py.

To add one: write a function taking the Journey `j` below, decorated with @journey, and add its
name to the list in CMakeLists.txt beside this file. The helpers live in e2e.py: j.program_folder,
j.settings_record, j.read_settings, j.make_pictures, j.start, program.wait_main_window,
program.key, program.click, program.close_window, program.wait_exit, j.wait_file_changes,
j.screenshot, j.check, j.check_equal; for other windows program.other_windows,
program.wait_other_window, program.key_in, program.type_in, j.window_rect, j.viewable; for what the
screen shows j.grab (pixels) and j.wait_screen (poll until a condition on them holds); for printing
j.print_system (a private CUPS scheduler: add_pdf_queue, program_env for j.start, job_ids,
pdfs). A journey raises JourneySkipped when the machine lacks a service it needs.
Failures keep screenshots under <build>/e2e-artifacts/<name>; E2E_KEEP_ARTIFACTS=1 keeps them always.
"""

import os
import re
import shutil
import subprocess
from pathlib import Path

from e2e import (APP_TITLE, PRINT_WAIT, SCREEN, WAIT, FileState, JourneyFailed, wait_until,
                 _proc_alive, _stop_pid)

JOURNEYS = {}


def journey(body):
    JOURNEYS[body.__name__] = body
    return body


PICTURES = ("beach.jpg", "Cliff.BMP", "dunes.gif", "harbour.bmp")


def pictures_folder(j, name="pictures here"):
    """A folder of a few small pictures, named with a space as folders often are."""
    folder = j.folder(name)
    j.make_pictures(folder, PICTURES)
    return folder


@journey
def first_start_writes_defaults(j):
    program_folder = j.program_folder()
    before = FileState(program_folder / "QUERNDAL.INI")
    program = j.start(program_folder)
    program.wait_main_window()
    settings = j.wait_file_changes(program.settings_path, before)
    j.check_equal(settings.bytes, j.settings_record(program_folder), "the settings written at first start")

    states = program.window_states()
    j.check({"MAXIMIZED_VERT", "MAXIMIZED_HORZ"} <= states, f"main window not maximised: {states}")
    x, y, width, height = program.geometry()
    # The window manager keeps a title bar; everything else is the window's.
    j.check(width == SCREEN[0] and height >= SCREEN[1] * 0.9 and y + height == SCREEN[1],
            f"main window at {width}x{height}+{x}+{y} does not fill the {SCREEN[0]}x{SCREEN[1]} screen")
    j.screenshot("main-window")


@journey
def exit_writes_listed_folder(j):
    pictures = pictures_folder(j)
    # The other fields differ from the defaults, so a record of defaults would not pass for it.
    written = j.settings_record(pictures, interval="5", colour=4, loop=0, hide=1)
    program_folder = j.program_folder(settings=written)
    program = j.start(program_folder)
    program.wait_main_window()
    j.check_equal(j.read_settings(program_folder), written, "the settings after start-up")

    before = FileState(program.settings_path)

    program.key("alt+e")
    j.check_equal(program.wait_exit(), 0, "exit status after Exit")
    after = FileState(program.settings_path)
    j.check(after != before, "Exit did not write the settings file")
    j.check_equal(after.bytes, written, "the settings written by Exit")


@journey
def f4_ends_without_writing(j):
    pictures = pictures_folder(j)
    program_folder = j.program_folder(settings=j.settings_record(pictures, interval="2.5"))
    program = j.start(program_folder)
    program.wait_main_window()
    before = FileState(program.settings_path)
    files_before = sorted(p.name for p in program_folder.iterdir())

    program.key("F4")
    j.check_equal(program.wait_exit(), 0, "exit status after F4")
    j.check_equal(FileState(program.settings_path), before, "the settings file after F4")
    j.check_equal(sorted(p.name for p in program_folder.iterdir()), files_before,
                  "the program folder after F4")


@journey
def closing_window_ends_without_writing(j):
    pictures = pictures_folder(j)
    program_folder = j.program_folder(settings=j.settings_record(pictures, colour=2))
    program = j.start(program_folder)
    program.wait_main_window()
    before = FileState(program.settings_path)

    program.close_window()
    j.check_equal(program.wait_exit(), 0, "exit status after closing the window")
    j.check_equal(FileState(program.settings_path), before, "the settings file after closing")


@journey
def missing_folder_rewrites_defaults(j):
    gone = j.folder("gone")
    gone.rmdir()
    program_folder = j.program_folder(settings=j.settings_record(gone, interval="7", colour=5, hide=1))
    before = FileState(program_folder / "QUERNDAL.INI")
    program = j.start(program_folder)
    program.wait_main_window()
    after = j.wait_file_changes(program.settings_path, before)
    j.check_equal(after.bytes, j.settings_record(program_folder), "the settings after start-up")


# ---- what the screen shows

# The main window's inner area (below the menu bar) is laid out on a design of this many twips;
# every control keeps its share of it when the window is maximised.
DESIGN = (9480, 6510)
# Colours as the program's palette has them: the settings' colour 3 is the default background.
TEAL = (0, 128, 128)
PURPLE = (128, 0, 128)
COLOURED = (("a-red.bmp", "red", (255, 0, 0)), ("b-lime.bmp", "lime", (0, 255, 0)),
            ("c-blue.bmp", "blue", (0, 0, 255)), ("d-yellow.bmp", "yellow", (255, 255, 0)))


def coloured_folder(j, count=4, name="coloured"):
    """A folder of pictures each filled with one colour, named so the file list sorts them in
    COLOURED's order; large enough that no slot shows them at their own size."""
    folder = j.folder(name)
    for file_name, colour, _ in COLOURED[:count]:
        j.run_tool(["convert", "-size", "200x150", f"xc:{colour}", str(folder / file_name)])
    return folder


class Layout:
    """Where the main window's controls are on the screen, from its client area: the menu bar
    takes the top, and the inner area below it holds the design, stretched."""

    def __init__(self, program, screen):
        x, y, width, height = program.geometry()
        # The inner area starts where the menu bar ends: the first row, at the right edge where
        # no control lies, that has the background colour seen at the bottom right corner.
        edge = x + width - 3
        background = screen.pixel(edge, y + height - 3)
        top = next((row for row in range(y, y + height // 4) if screen.pixel(edge, row) == background),
                   None)
        if top is None:
            raise JourneyFailed(f"no inner area found below the menu bar (background {background})")
        self.x, self.y, self.width, self.height = x, top, width, y + height - top

    def point(self, left, top):
        """Design twips to a screen pixel."""
        return (self.x + round(left / DESIGN[0] * self.width),
                self.y + round(top / DESIGN[1] * self.height))

    def slot_centre(self, i):
        """The centre of top-row slot i, where a fitted thumbnail always has its own colour."""
        return self.point(2220 + 1440 * i + 1455 / 2, 120 + 1155 / 2)

    def first_file(self):
        """A point on the file list's first entry (the list starts 2400 twips down; an entry is
        one line of text high)."""
        x, y = self.point(120 + 400, 2400)
        return x, y + 8


def layout_of(j, program):
    """The layout once the window has settled: the window manager may still be placing or
    maximising it when start-up ends, and a point computed before that would miss its control.
    Settled is the same client area in two captures in a row, with the file list's first entry
    drawn (a click before it would select nothing)."""
    def settled():
        before = program.geometry()
        screen = j.grab()
        if program.geometry() != before:
            return None
        layout = Layout(program, screen)
        x, y = layout.first_file()
        if not any(sum(screen.pixel(x + dx, y + dy)) < 300
                   for dx in range(-40, 80, 2) for dy in range(-5, 6)):
            return None
        return layout
    return wait_until(settled, "the main window to settle with its file list drawn")


def slot_shows(layout, i, colour):
    """A condition for wait_screen: top-row slot i shows `colour`."""
    def check(screen):
        x, y = layout.slot_centre(i)
        seen = screen.pixel(x, y)
        return True if screen.is_colour(x, y, colour) else f"slot {i} at ({x}, {y}) has {seen}, not {colour}"
    return check


def select_first_file(j, program, layout):
    """Clicks the file list's first entry and waits until slot 0 shows it."""
    x, y = layout.first_file()
    left, top, _, _ = program.geometry()
    program.click(x - left, y - top)
    j.wait_screen(slot_shows(layout, 0, COLOURED[0][2]), f"{COLOURED[0][0]} in slot 0 after clicking it",
                  "first-file-selected")


def start_with(j, folder, **settings):
    """A program folder whose settings list `folder`, and the program started from it, up."""
    program_folder = j.program_folder(settings=j.settings_record(folder, **settings))
    program = j.start(program_folder)
    program.wait_main_window()
    return program


def wait_show(j, program, what, hides_main=False):
    """Waits until the full-screen window covers the screen; returns it. A show started from
    the menu lays itself over the main window; the full screen of a slot hides it."""
    show = program.wait_other_window(f"the full-screen window ({what})")
    wait_until(lambda: j.window_rect(show) == (0, 0) + SCREEN,
               f"the full-screen window to cover the {SCREEN} screen without a frame ({what}; "
               f"it is at {j.window_rect(show)})")
    if hides_main:
        program.wait_main_window_hidden()
    return show


def wait_show_ended(j, program, show, what):
    """Waits until the full-screen window is gone and the main window is on the screen again."""
    wait_until(lambda: program.running() and not j.viewable(show),
               f"the full-screen window to go ({what})")
    program.wait_main_window_back()
    j.check(program.running(), f"the program ended with the full screen ({what})")


def end_program(j, program):
    """F4 ends the program at once; a journey that got this far leaves nothing running."""
    program.key("F4")
    j.check_equal(program.wait_exit(), 0, "exit status after F4")


def no_second_dialog(j, program, first, what):
    """After a dialog is answered, control goes back to the main window and no other dialog takes
    its place (the answer is not taken as a new request)."""
    wait_until(lambda: not j.viewable(first), f"the {what} to close")

    def settled():
        others = program.other_windows()
        if others:
            return others
        return "main" if program.main_window_shown() and \
            j.xdotool("getactivewindow", check=False).stdout.strip() == program.window else None
    result = wait_until(settled, f"the main window to be active after the {what}")
    if result != "main":
        path = j.screenshot("second-dialog")
        raise JourneyFailed(f"after the {what} was answered, another window of the program opened "
                            f"({', '.join(repr(j.window_title(w)) for w in result)})"
                            f" instead of the main window coming back\n  screenshot: {path}")


# ---- journeys over pictures, slide shows and dialogs

@journey
def browse_right_fills_slots(j):
    folder = coloured_folder(j)
    program = start_with(j, folder)
    layout = layout_of(j, program)
    select_first_file(j, program, layout)
    # Focus is in the file list now; each Right moves to the next file and, when released,
    # puts it into the next slot.
    for i in range(1, 4):
        program.key("Right")
        name, _, colour = COLOURED[i]
        j.wait_screen(slot_shows(layout, i, colour), f"{name} in slot {i} after Right number {i}",
                      f"after-right-{i}")
    # Each slot kept its own picture: nothing was drawn over an earlier slot.
    screen = j.grab()
    for i, (name, _, colour) in enumerate(COLOURED):
        verdict = slot_shows(layout, i, colour)(screen)
        if verdict is not True:
            raise JourneyFailed(f"{name} no longer in slot {i}: {verdict}"
                                f"\n  screenshot: {j.screenshot('four-slots', screen.capture)}")
    end_program(j, program)


@journey
def slot_click_full_screen_and_back(j):
    folder = coloured_folder(j, count=2)
    program = start_with(j, folder)
    layout = layout_of(j, program)
    select_first_file(j, program, layout)

    x, y = layout.slot_centre(0)
    left, top, _, _ = program.geometry()
    program.click(x - left, y - top)
    show = wait_show(j, program, "after clicking slot 0", hides_main=True)
    centre = (SCREEN[0] // 2, SCREEN[1] // 2)
    corner = (SCREEN[0] - 3, SCREEN[1] - 3)

    def picture_on_background(screen):
        if not screen.is_colour(*centre, COLOURED[0][2]):
            return f"the screen centre has {screen.pixel(*centre)}, not red"
        if not screen.is_colour(*corner, TEAL):
            return f"the corner has {screen.pixel(*corner)}, not the background {TEAL}"
        return True
    j.wait_screen(picture_on_background, "the red picture on the background", "full-screen")

    j.click_screen(*centre)
    wait_show_ended(j, program, show, "after a click on the picture")
    end_program(j, program)


@journey
def one_pass_show_returns(j):
    folder = coloured_folder(j, count=3)
    program = start_with(j, folder, interval="0.2", loop=0)
    program.key("alt+l")
    show = wait_show(j, program, "the show started by Loop")
    # Three pictures at 0.2 s each: the pass ends by itself well within the wait.
    wait_show_ended(j, program, show, "at the end of one pass")
    j.screenshot("after-the-pass")
    end_program(j, program)


@journey
def loop_opens_every_time(j):
    """Alt+L, with real key presses, opens the show at every press; a click ends it, Esc does
    not (it is no key of the show)."""
    folder = coloured_folder(j, count=2)
    program = start_with(j, folder, interval="3", loop=1)
    for attempt, escape_first in enumerate((False, False, True), start=1):
        program.key("alt+l")
        show = wait_show(j, program, f"Alt+L number {attempt}")
        if escape_first:
            # F2 after Esc writes the settings: once the file has changed, Esc has been handled.
            before = FileState(program.settings_path)
            program.key_in(show, "Escape", "F2")
            j.wait_file_changes(program.settings_path, before)
            j.check(j.viewable(show), "the show still up after Esc")
        j.click_screen(SCREEN[0] // 2, SCREEN[1] // 2)
        wait_show_ended(j, program, show, f"after show {attempt} ended by a click")
    end_program(j, program)


@journey
def f2_in_show_saves_colour(j):
    folder = coloured_folder(j, count=2)
    program = start_with(j, folder, interval="3", colour=3, loop=1)
    program.key("alt+l")
    show = wait_show(j, program, "the show started by Loop")
    for colour in (4, 5):
        before = FileState(program.settings_path)
        program.key_in(show, "F2")
        after = j.wait_file_changes(program.settings_path, before)
        j.check_equal(after.bytes, j.settings_record(folder, interval="3", colour=colour, loop=1),
                      f"the settings after F2 number {colour - 3}")
    corner = (SCREEN[0] - 3, SCREEN[1] - 3)

    def purple(screen):
        return True if screen.is_colour(*corner, PURPLE) else \
            f"the background corner has {screen.pixel(*corner)}"
    j.wait_screen(purple, f"the show's background in colour 5 {PURPLE}", "colour-5")

    j.click_screen(*corner)
    wait_show_ended(j, program, show, "after a click on the background")
    program.key("alt+e")
    j.check_equal(program.wait_exit(), 0, "exit status after Exit")
    j.check_equal(j.read_settings(program.folder),
                  j.settings_record(folder, interval="3", colour=5, loop=1), "the settings after Exit")


def delete_journey(j, answer):
    folder = coloured_folder(j)
    program = start_with(j, folder)
    layout = layout_of(j, program)
    select_first_file(j, program, layout)
    before = sorted(p.name for p in folder.iterdir())

    program.key("Delete")
    box = program.wait_other_window("the delete confirmation")
    # Its text cannot be read from the screen; the title and the modal state tell it is a
    # message box of the program's.
    j.check_equal(j.window_title(box), APP_TITLE, "the confirmation's title")
    j.screenshot("confirmation")
    program.key_in(box, answer)
    gone = COLOURED[0][0]
    expected = [name for name in before if name != gone] if answer == "Return" else before
    wait_until(lambda: sorted(p.name for p in folder.iterdir()) == expected,
               f"the folder to hold {expected} (it holds {sorted(p.name for p in folder.iterdir())})")
    no_second_dialog(j, program, box, "delete confirmation")
    j.check_equal(sorted(p.name for p in folder.iterdir()), expected, "the folder after the answer")
    end_program(j, program)


@journey
def delete_with_yes_removes_file(j):
    # Yes is the default button: Return answers it.
    delete_journey(j, "Return")


@journey
def delete_with_no_keeps_file(j):
    delete_journey(j, "n")


@journey
def f7_renames_through_dialog(j):
    folder = coloured_folder(j)
    program = start_with(j, folder)
    layout = layout_of(j, program)
    select_first_file(j, program, layout)
    old = folder / COLOURED[0][0]
    content = old.read_bytes()
    new = folder / "z-renamed.bmp"

    program.key("F7")
    dialog = program.wait_other_window("the save-as dialog")
    j.check_equal(j.window_title(dialog), "Save As", "the rename dialog's title")
    # The file-name field has the focus and shows the old name: replace it with the new one.
    program.key_in(dialog, "ctrl+a")
    program.type_in(dialog, new.name)
    j.screenshot("new-name-typed")
    program.key_in(dialog, "Return")
    wait_until(lambda: new.exists() and not old.exists(), f"{old.name} to become {new.name}")
    j.check_equal(new.read_bytes(), content, "the renamed file's bytes")
    no_second_dialog(j, program, dialog, "save-as dialog")
    j.check_equal(sorted(p.name for p in folder.iterdir()),
                  sorted([new.name] + [name for name, _, _ in COLOURED[1:]]), "the folder after the rename")
    end_program(j, program)


@journey
def setup_save_writes_interval(j):
    folder = coloured_folder(j, count=1)
    program = start_with(j, folder, interval="3", colour=3, loop=1)
    before = FileState(program.settings_path)
    program.key("alt+s")
    dialog = program.wait_other_window("the Setup dialog")
    _, _, width, height = j.window_rect(dialog)
    j.check(width < SCREEN[0] // 2 and height < SCREEN[1] // 2,
            f"the window that opened is {width}x{height}, not a small dialog")
    # The interval field has the focus; Save comes next in the tab order and has no mnemonic.
    program.key_in(dialog, "ctrl+a")
    program.type_in(dialog, "7")
    j.screenshot("interval-typed")
    program.key_in(dialog, "Tab", "space")
    after = j.wait_file_changes(program.settings_path, before)
    j.check_equal(after.bytes, j.settings_record(folder, interval="7", colour=3, loop=1),
                  "the settings saved by Setup")
    wait_until(lambda: not j.viewable(dialog), "the Setup dialog to close after Save")
    j.check(program.main_window_shown(), "the main window is not shown after Save")
    end_program(j, program)


def frame_rect(j, window):
    """(x, y, width, height) of a window with the frame the window manager put around it."""
    out = j.run_tool(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"]).stdout
    numbers = re.findall(r"\d+", out.split("=", 1)[-1]) if "=" in out else []
    j.check(len(numbers) == 4, f"no frame extents on window {window}: {out.strip()}")
    left, right, top, bottom = (int(n) for n in numbers)
    x, y, width, height = j.window_rect(window)
    return x - left, y - top, width + left + right, height + top + bottom


def check_centred(j, window, what):
    """The window's outer rectangle sits in the middle of the screen, within a pixel."""
    x, y, width, height = frame_rect(j, window)
    centred = ((SCREEN[0] - width) / 2, (SCREEN[1] - height) / 2)
    j.check(abs(x - centred[0]) <= 1 and abs(y - centred[1]) <= 1,
            f"{what}: frame {width}x{height} at ({x}, {y}), centred would be {centred}")


@journey
def restored_window_and_setup_centred(j):
    program = start_with(j, pictures_folder(j))
    j.run_tool(["wmctrl", "-i", "-r", program.window, "-b", "remove,maximized_vert,maximized_horz"])
    wait_until(lambda: not {"MAXIMIZED_VERT", "MAXIMIZED_HORZ"} & program.window_states(),
               "the main window to be restored to its normal size")
    # The frame of a window at normal size is not the maximised one's (borders, a resize grip).
    wait_until(lambda: frame_rect(j, program.window)[2] > program.geometry()[2],
               "the window manager to put a normal frame around the restored window")
    check_centred(j, program.window, "the restored main window")
    program.key("alt+s")
    dialog = program.wait_other_window("the Setup dialog")
    check_centred(j, dialog, "the Setup dialog")
    j.screenshot("setup-centred")
    end_program(j, program)


def stacking(j):
    """The program's and other clients' windows, bottom first, as the window manager stacks them."""
    out = j.run_tool(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"]).stdout
    return [int(w, 16) for w in re.findall(r"0x[0-9a-fA-F]+", out)]


@journey
def about_stays_above_show(j):
    folder = coloured_folder(j, count=2)
    program = start_with(j, folder)
    layout = layout_of(j, program)
    select_first_file(j, program, layout)
    # Help > About: the last entry of the Help menu.
    program.key("alt+h", "Up", "Return")
    found = wait_until(lambda: j.xdotool("search", "--onlyvisible", "--name", "^About$",
                                         check=False).stdout.split(), "the About box")
    about = int(found[0])

    x, y = layout.slot_centre(0)
    left, top, _, _ = program.geometry()
    program.click(x - left, y - top)

    def show_up():
        shows = [int(w) for w in program.other_windows()
                 if int(w) != about and j.window_rect(w) == (0, 0) + SCREEN]
        return shows[0] if shows else None
    show = wait_until(show_up, "the full-screen window after clicking slot 0")
    program.wait_main_window_hidden()

    def about_above_show():
        order = stacking(j)
        return show in order and about in order and order.index(about) > order.index(show)
    # Once the show has the focus the window manager has stacked it where it stays.
    wait_until(lambda: j.run_tool(["xdotool", "getactivewindow"], check=False).stdout.strip()
               == str(show), "the full-screen window to have the focus")
    wait_until(about_above_show, f"the About box ({about}) above the full-screen window ({show}): "
               f"stacking {stacking(j)}")
    j.screenshot("about-above-show")
    j.check(j.viewable(about), "the About box is not on the screen over the show")

    # A click on the background ends the show; the box stays, above the main window.
    j.click_screen(SCREEN[0] - 10, SCREEN[1] - 10)
    wait_until(lambda: program.running() and not j.viewable(show), "the show to end after a click")
    program.wait_main_window_back()

    def about_above_main():
        order = stacking(j)
        main = int(program.window)
        return main in order and about in order and order.index(about) > order.index(main)
    wait_until(about_above_main, "the About box above the main window after the show")
    j.check(j.viewable(about), "the About box went with the show")
    end_program(j, program)


def damaged_corpus_files(per_type=2):
    """A few files of each picture type that the corpus says no decoder may accept."""
    corpus = Path(os.environ.get("E2E_CORPUS", Path(__file__).resolve().parents[3] / "shared" / "corpus"))
    manifest = corpus / "MANIFEST.tsv"
    if not manifest.is_file():
        raise JourneyFailed(f"no corpus manifest at {manifest} (E2E_CORPUS names another corpus)")
    chosen = {}
    for line in manifest.read_text().splitlines():
        fields = line.split("\t")
        if line.startswith("#") or len(fields) < 2 or fields[1] != "reject":
            continue
        path = corpus / fields[0]
        kind = path.suffix.lower()
        if kind in (".bmp", ".gif", ".jpg", ".wmf") and path.is_file() \
                and len(chosen.setdefault(kind, [])) < per_type:
            chosen[kind].append(path)
    return [path for paths in chosen.values() for path in paths]


@journey
def damaged_pictures_show_keeps_running(j):
    folder = coloured_folder(j, count=1, name="damaged")
    damaged = damaged_corpus_files()
    j.check(len({p.suffix.lower() for p in damaged}) == 4,
            f"the corpus lacks a damaged file of some type: {[p.name for p in damaged]}")
    for i, path in enumerate(damaged):
        # Numbered, since two sources may use one name; the extension keeps its type.
        shutil.copy(path, folder / f"{i:02d}-{path.name}")
    program = start_with(j, folder, interval="0.2", loop=0)
    program.key("alt+l")
    show = wait_show(j, program, "the show of damaged pictures")
    wait_show_ended(j, program, show, "at the end of one pass over damaged pictures")
    j.screenshot("after-the-pass")
    end_program(j, program)


HELP_TITLE = "VELDRANE W95 and NT Help"


@journey
def help_f1_opens_viewer(j):
    program = start_with(j, pictures_folder(j))
    j.check((program.folder / "querndal-help").is_file() and (program.folder / "QUERNDAL.hlp").is_file(),
            "the help viewer or help file was not built beside the program")
    program.key("F1")
    found = wait_until(lambda: j.xdotool("search", "--onlyvisible", "--name", f"^{HELP_TITLE}$",
                                         check=False).stdout.split(), "the help viewer's window")
    j.check_equal(len(found), 1, "help viewer windows after one F1")
    viewer = int(j.xdotool("getwindowpid", found[0]).stdout)
    try:
        j.check(viewer != program.pid, "the help window belongs to the program itself")
        j.screenshot("help-viewer")
        j.run_tool(["wmctrl", "-i", "-c", found[0]])
        wait_until(lambda: not _proc_alive(viewer), "the help viewer to end after its window closed")
        j.check(program.running(), "the program ended with the help viewer")
        j.check(program.main_window_shown(), "the main window is gone after the help viewer closed")
    finally:
        # A viewer left running by a failed check would outlive the journey.
        _stop_pid(viewer, "querndal-help")
    end_program(j, program)


# ---- printing

PRINT_QUEUE = "QuerndalE2ePdf"
PRINT_FAILED_TITLE = "VELDRANE."


def start_printing(j, cups):
    """The program, up, with a picture listed, printing through the journey's own scheduler."""
    program_folder = j.program_folder(settings=j.settings_record(coloured_folder(j, count=1)))
    program = j.start(program_folder, env=cups.program_env())
    program.wait_main_window()
    return program


def read_picture(path):
    """A picture file's pixels as (width, height, RGB bytes)."""
    data = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], capture_output=True,
                          timeout=WAIT).stdout
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    if not header:
        raise JourneyFailed(f"{path} could not be read as a picture")
    width, height = int(header.group(1)), int(header.group(2))
    rgb = data[header.end():]
    if len(rgb) != width * height * 3:
        raise JourneyFailed(f"{path}: {len(rgb)} bytes of pixels for {width}x{height}")
    return width, height, rgb


def share_of_colour(picture, box, colour, tolerance=24):
    """The share of the pixels in box (left, top, right, bottom) that have `colour`."""
    width, _, rgb = picture
    left, top, right, bottom = box
    hits = total = 0
    for y in range(top, bottom):
        for x in range(left, right):
            i = (y * width + x) * 3
            total += 1
            hits += all(abs(a - b) <= tolerance for a, b in zip(rgb[i:i + 3], colour))
    return hits / total if total else 0.0


@journey
def print_makes_one_page_pdf(j):
    cups = j.print_system()
    cups.add_pdf_queue(PRINT_QUEUE)
    program = start_printing(j, cups)
    program.key("alt+p")

    def printed():
        others = program.other_windows()
        if others:
            path = j.screenshot("window-instead-of-print")
            raise JourneyFailed(f"Print opened {', '.join(repr(j.window_title(w)) for w in others)}"
                                f"\n  screenshot: {path}{cups.error_log()}")
        # No job waiting is not enough: before the program sends its job there is none either.
        return cups.pending_jobs() == "" and cups.job_ids("completed")
    jobs = wait_until(printed, "the print job to pass through the queue", PRINT_WAIT)
    j.check_equal(len(jobs), 1, "jobs completed after one Print")
    pdfs = wait_until(cups.pdfs, f"the PDF of job {jobs[0]}")
    j.check_equal([p.name for p in pdfs], [f"{PRINT_QUEUE}.pdf"], f"PDFs after job {jobs[0]}")
    pdf = pdfs[0]

    facts = j.run_tool(["pdfinfo", str(pdf)]).stdout
    pages = re.search(r"^Pages:\s+(\d+)$", facts, re.MULTILINE)
    j.check(pages, f"pdfinfo does not tell the pages:\n{facts}")
    j.check_equal(int(pages.group(1)), 1, "pages in the PDF")

    prefix = j.root / "printed-page"
    j.run_tool(["pdftoppm", "-r", "30", "-png", "-singlefile", str(pdf), str(prefix)])
    rendering = prefix.with_suffix(".png")
    j.artifacts.mkdir(parents=True, exist_ok=True)
    shutil.copy2(rendering, j.artifacts / rendering.name)
    page = read_picture(rendering)
    width, height, _ = page
    # The window is wider than tall and is scaled to the page's width, centred: whatever is in
    # its inner area, the background fills a good part of the middle of the page.
    middle = (width // 4, height * 2 // 5, width * 3 // 4, height * 3 // 5)
    share = share_of_colour(page, middle, TEAL)
    j.check(share >= 0.4, f"only {share:.0%} of the middle of the printed page {middle} has the "
                          f"window's background {TEAL}\n  rendering: {j.artifacts / rendering.name}")

    j.check(program.running(), "the program ended after printing")
    end_program(j, program)


@journey
def print_without_printer_says_so(j):
    cups = j.print_system()
    program = start_printing(j, cups)
    program.key("alt+p")
    # Its text cannot be read from the screen (a message box renders black here): its title
    # tells it from the program's other message boxes.
    box = program.wait_other_window("a message that printing is not possible")
    wait_until(lambda: j.window_title(box) == PRINT_FAILED_TITLE,
               f"the message's title to be {PRINT_FAILED_TITLE!r} (it is {j.window_title(box)!r})")
    j.screenshot("message")
    program.key_in(box, "Return")
    no_second_dialog(j, program, box, "message that printing is not possible")
    j.check_equal(cups.job_ids("all"), [], "jobs sent to a print system without a printer")
    j.check(program.running(), "the program ended after the message")
    end_program(j, program)


EXTRAS_ALL_ON = ("[Extras]\nMoreFileTypes=true\nFitLargePictures=true\nEscEndsShow=true\n"
                 "DeleteToTrash=true\n")


@journey
def extras_all_on(j):
    """Every extra on: a .jpeg and a .png listed and in slots, a picture wider than the screen
    shown fitted, End and Home between fitted and own size, Esc ends the show, Delete goes to a
    trash of the journey's own."""
    folder = j.folder("camera")
    # Red, two and a half times as wide as high: at its own size it covers the whole screen,
    # fitted it leaves the background above and below it.
    j.run_tool(["convert", "-size", f"{SCREEN[0] * 2}x{SCREEN[1]}", "xc:red",
                str(folder / "a-red.jpeg")])
    j.run_tool(["convert", "-size", "200x150", "xc:lime", str(folder / "b-lime.png")])
    program_folder = j.program_folder(settings=j.settings_record(folder))
    (program_folder / "querndal-extras.ini").write_text(EXTRAS_ALL_ON)
    data = j.folder("data")
    # The home folder beside the pictures, so that the trash used is the one in `data`, on the
    # same volume, and never one at the top of a shared volume.
    home = j.folder("home")
    program = j.start(program_folder, env={"XDG_DATA_HOME": str(data), "HOME": str(home)})
    program.wait_main_window()
    layout = layout_of(j, program)
    select_first_file(j, program, layout)
    program.key("Right")
    j.wait_screen(slot_shows(layout, 1, (0, 255, 0)), "b-lime.png in slot 1", "png-in-slot-1")

    x, y = layout.slot_centre(0)
    left, top, _, _ = program.geometry()
    program.click(x - left, y - top)
    show = wait_show(j, program, "after clicking slot 0", hides_main=True)
    centre = (SCREEN[0] // 2, SCREEN[1] // 2)
    corner = (3, SCREEN[1] - 3)  # the top left holds the file name

    def shown(fitted):
        def check(screen):
            if not screen.is_colour(*centre, (255, 0, 0)):
                return f"the screen centre has {screen.pixel(*centre)}, not red"
            want = TEAL if fitted else (255, 0, 0)
            if not screen.is_colour(*corner, want):
                return f"the corner has {screen.pixel(*corner)}, not {want}"
            return True
        return check
    j.wait_screen(shown(True), "the wide picture fitted to the screen", "opened-fitted")
    program.key_in(show, "Home")
    j.wait_screen(shown(False), "the picture at its own size after Home", "home-own-size")
    program.key_in(show, "End")
    j.wait_screen(shown(True), "the picture fitted again after End", "end-fitted")
    program.key_in(show, "Escape")
    wait_show_ended(j, program, show, "after Esc")

    # The file of the slot clicked is the current one: Delete asks, Return moves it to the trash.
    program.key("Delete")
    box = program.wait_other_window("the delete question")
    j.check_equal(j.window_title(box), APP_TITLE, "the question's title")
    program.key_in(box, "Return")
    trashed = data / "Trash" / "files" / "a-red.jpeg"
    wait_until(lambda: trashed.exists() and not (folder / "a-red.jpeg").exists(),
               "a-red.jpeg to move to the trash")
    no_second_dialog(j, program, box, "delete question")
    j.check_equal((program_folder / "querndal-extras.ini").read_text(), EXTRAS_ALL_ON,
                  "the extras file after the run")
    end_program(j, program)
