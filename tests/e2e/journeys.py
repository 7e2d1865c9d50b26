"""Journeys through the whole program, each run as its own CTest test by e2e.py.

To add one: write a function taking the Journey `j` below, decorated with @journey, and add its
name to the list in CMakeLists.txt beside this file. The helpers live in e2e.py: j.program_folder,
j.settings_record, j.read_settings, j.make_pictures, j.start, program.wait_main_window,
program.key, program.click, program.close_window, program.wait_exit, j.wait_file_changes,
j.screenshot, j.check, j.check_equal. Failures keep screenshots under <build>/e2e-artifacts/<name>.
"""

from e2e import SCREEN, FileState

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
