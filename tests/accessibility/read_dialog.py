"""Reads the running dialog through the real AT-SPI bus, as a screen reader does.

Usage: read_dialog.py CHECK PROGRAM

Runs inside a private session bus (dbus-run-session) on an X display of the test's own
(DISPLAY). Starts at-spi2-core's bus launcher, a window manager and PROGRAM with Qt's
accessibility bridge switched on, drives the dialog with xdotool, reads it back with pyatspi
and stops everything it started. Nobody presses "Erstellen", so the clipboard stays as it was.

Exit status: 0 when every expectation held, 1 when one failed (each is printed), 77 when the
check does not apply to the Qt the program runs on, 2 when the set-up failed.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TITLE = "ZANDOs Quirlomat"
WM_RUNNING = "_QUIRLOMAT_TEST_WM_RUNNING"  # set on the root window by openbox once it runs
STANDARD_KEY_LETTERS = (
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-!~*'()=+$,?/:#%")
START_TIMEOUT = 30.0  # seconds; a loaded machine running tests in parallel may need many
STEP_TIMEOUT = 10.0   # for one reaction of the dialog to one input


class SetUpError(Exception):
    pass


class Checker:
    """Collects failed expectations instead of stopping at the first, as gtest's EXPECT."""

    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
            print("FAILED: " + message, flush=True)
        return condition

    def equal(self, actual, expected, what):
        return self.expect(actual == expected, f"{what}: {actual!r}, expected {expected!r}")


def wait_for(condition, timeout, pump=None):
    """Polls condition until it is true or timeout seconds have passed; its last value."""
    deadline = time.monotonic() + timeout
    while True:
        if pump is not None:
            pump()
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(0.05)


def run(argv, timeout=STEP_TIMEOUT):
    return subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=timeout, check=False)


def stop(process):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=5)


class Session:
    """The bus launcher, the window manager and the program, started and stopped together."""

    def __init__(self, program):
        self.program = program
        self.processes = []
        self.logs = {}
        self.runtime_dir = tempfile.mkdtemp(prefix="quirlomat-a11y-")
        os.environ["XDG_RUNTIME_DIR"] = self.runtime_dir
        os.environ["GSETTINGS_BACKEND"] = "memory"  # no dconf writes from the launcher
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        os.environ.pop("QT_QPA_PLATFORM", None)
        os.environ.pop("WAYLAND_DISPLAY", None)

    def start(self, name, argv, env=None):
        """Starts a helper whose standard error goes to a log of its own."""
        log = open(os.path.join(self.runtime_dir, name + ".log"), "w+")
        self.logs[name] = log
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=log, env=env)
        self.processes.append(process)
        return process

    def wait_until(self, process, condition, what):
        if not wait_for(lambda: condition() or process.poll() is not None, START_TIMEOUT) or \
                process.poll() is not None:
            raise SetUpError(f"{what} did not come up:\n{self.output()}")

    def __enter__(self):
        try:
            launcher = self.start("launcher",
                                  ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
            self.wait_until(launcher, self._a11y_bus_is_up, "the accessibility bus")
            # openbox is up once its start-up command has run, just before its main loop; an
            # earlier sign lets a window that is mapped at once go unmanaged (the reason is in
            # tests/support/window_manager.h).
            announce = f"xprop -root -f {WM_RUNNING} 8s -set {WM_RUNNING} yes"
            window_manager = self.start("openbox",
                                        ["openbox", "--sm-disable", "--startup", announce])
            self.wait_until(window_manager, self._window_manager_is_up, "openbox")
            env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
            self.dialog = self.start("program", [self.program], env=env)
        except BaseException:
            self.__exit__(None, None, None)  # a with statement does not, when __enter__ fails
            raise
        return self

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            stop(process)
        for log in self.logs.values():
            log.close()
        shutil.rmtree(self.runtime_dir, ignore_errors=True)
        return False

    def output(self):
        """What the helpers and the program have written to standard error so far."""
        parts = []
        for name, log in self.logs.items():
            log.flush()
            log.seek(0)
            parts.append(f"--- {name}:\n{log.read()}")
        return "\n".join(parts)

    @staticmethod
    def _a11y_bus_is_up():
        from gi.repository import Gio, GLib
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "NameHasOwner",
                              GLib.Variant("(s)", ("org.a11y.Bus",)), GLib.VariantType("(b)"),
                              Gio.DBusCallFlags.NONE, 1000, None)
        return reply.unpack()[0]

    @staticmethod
    def _window_manager_is_up():
        return '"yes"' in run(["xprop", "-root", WM_RUNNING]).stdout


class Dialog:
    """The dialog's accessible objects, found by role and name as a screen reader sees them."""

    def __init__(self, pyatspi, session):
        self.pyatspi = pyatspi
        self.session = session
        from gi.repository import GLib
        self.context = GLib.MainContext.default()
        self.window = wait_for(self._find_window, START_TIMEOUT, self.pump)
        if not self.window:
            raise SetUpError("the dialog did not appear on the accessibility bus:\n" +
                             session.output())
        self.application = self.window.getApplication()
        self.children = list(self.window)
        # Roles by value: their names changed with at-spi2-core ("push button" became
        # "button"), and a text box is a plain text or an entry depending on Qt's version.
        button, text, label = ({pyatspi.ROLE_PUSH_BUTTON}, {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY},
                               {pyatspi.ROLE_LABEL})
        self.button = self.find(button, "Erstellen")
        self.length = self.find(text, "Länge")
        self.length_label = self.find(label, "Länge:")
        self.check_box = self.find({pyatspi.ROLE_CHECK_BOX}, "Key")
        self.key_label = self.find(label, "Key")
        self.key_letters = self.find(text, "Zeichenvorrat")
        self.count = self.find(label, "mögliche Zeichen: 80")
        # openbox focuses a new window by itself; under load it may not, or only later, and
        # xdotool's own waiting (search --sync) can miss the window for good. So: look, ask
        # for the focus, and look again, each step bounded.
        deadline = time.monotonic() + START_TIMEOUT
        while not wait_for(lambda: self.has(self.button, "focused"), 1, self.pump):
            if time.monotonic() >= deadline:
                raise SetUpError("the dialog did not take the focus:\n" + session.output())
            try:
                search = run(["xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$"],
                             timeout=5)
                for window_id in search.stdout.split():
                    run(["xdotool", "windowactivate", window_id], timeout=5)
            except subprocess.TimeoutExpired:
                pass

    def _find_window(self):
        desktop = self.pyatspi.Registry.getDesktop(0)
        for application in desktop:
            if application is None:
                continue
            for window in application:
                if window is not None and window.name == TITLE:
                    return window
        return None

    def find(self, roles, name):
        for child in self.children:
            if child.getRole() in roles and child.name == name:
                return child
        seen = [(child.getRoleName(), child.name) for child in self.children]
        raise SetUpError(f"no {name!r} among the dialog's controls: {seen}")

    def pump(self):
        """Delivers the events that have arrived to the listeners."""
        while self.context.iteration(False):
            pass

    def fresh(self, accessible):
        # libatspi may answer from a cache that only events keep up to date; a test must see
        # what the program says now.
        accessible.clearCache()
        return accessible

    def has(self, accessible, state):
        wanted = getattr(self.pyatspi, "STATE_" + state.upper().replace(" ", "_"))
        return self.fresh(accessible).getState().contains(wanted)

    def text(self, accessible):
        return self.fresh(accessible).queryText().getText(0, -1)

    def description(self, accessible):
        return self.fresh(accessible).description

    def name(self, accessible):
        return self.fresh(accessible).name

    def keys(self, *keys):
        if run(["xdotool", "key", "--delay", "40", *keys]).returncode != 0:
            raise SetUpError("xdotool key failed")

    def type(self, text):
        if run(["xdotool", "type", "--delay", "40", text]).returncode != 0:
            raise SetUpError("xdotool type failed")

    def click(self, accessible):
        extents = self.fresh(accessible).queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        x = extents.x + extents.width // 2
        y = extents.y + extents.height // 2
        if run(["xdotool", "mousemove", str(x), str(y), "click", "1"]).returncode != 0:
            raise SetUpError("xdotool click failed")

    def focused(self):
        for child in self.children:
            if self.has(child, "focused"):
                return child.name
        return None

    def wait_focus(self, name):
        return wait_for(lambda: self.focused() == name, STEP_TIMEOUT, self.pump)

    def running(self):
        return self.session.dialog.poll() is None


def check_tree(d, c):
    """Roles, names, descriptions, states and relations as the dialog opens."""
    c.equal(d.window.getRole(), d.pyatspi.ROLE_DIALOG, "the window's role")
    c.equal(d.window.name, TITLE, "the window's name")
    c.expect(d.has(d.window, "active"), "the dialog is the active window")
    c.equal(len(d.children), 7, "the number of controls")

    c.expect("Zwischenablage" in d.button.description and
             "beendet das Programm" in d.button.description,
             f"Erstellen says that it copies and ends the program: {d.button.description!r}")
    c.expect(d.has(d.button, "focused"), "Erstellen has the focus at start")
    c.expect(d.has(d.button, "is default"), "Erstellen is the default button")

    c.equal(d.text(d.length), "63", "the length")
    c.expect(d.has(d.length, "editable") and d.has(d.length, "focusable"), "the length box")
    c.expect("Anzahl der Zeichen" in d.length.description,
             f"the length's description: {d.length.description!r}")

    description = d.check_box.description
    c.expect("Angekreuzt" in description and "Zeichen im Feld darunter" in description,
             f"the check box tells what ticked means: {description!r}")
    c.expect("Nicht angekreuzt" in description and "31 bis 255" in description,
             f"the check box tells what unticked means: {description!r}")
    c.expect(d.has(d.check_box, "checked"), "the box is ticked")
    c.expect(d.has(d.check_box, "focusable"), "the box takes the focus")

    c.equal(d.text(d.key_letters), STANDARD_KEY_LETTERS, "the key letters")
    c.expect(d.key_letters.description.startswith("80 mögliche Zeichen."),
             f"the key letters tell their count: {d.key_letters.description!r}")
    c.expect(d.has(d.key_letters, "enabled") and d.has(d.key_letters, "editable"),
             "the key letters can be edited")
    c.equal(d.count.name, "mögliche Zeichen: 80", "the count label")

    for label in (d.length_label, d.key_label):
        c.equal(label.description, "", f"the description of the label {label.name!r}")
    relations = {
        (str(relation.getRelationType()), relation.getTarget(0).name)
        for relation in d.length.getRelationSet()
    }
    c.expect(any("LABELLED_BY" in kind and target == "Länge:" for kind, target in relations),
             f"the length box is labelled by 'Länge:': {relations}")


def check_count(d, c):
    """The key-letters box tells the count in its description after every keystroke."""
    events = []

    def on_description(event):
        if event.source is not None and event.source.name == "Zeichenvorrat":
            events.append(event)

    d.pyatspi.Registry.registerEventListener(
        on_description, "object:property-change:accessible-description")
    try:
        d.keys("alt+z")  # into the box, everything selected
        if not c.expect(d.wait_focus("Zeichenvorrat"), "Alt+Z reaches the key letters"):
            return
        d.type("xyz")
        c.expect(wait_for(lambda: d.text(d.key_letters) == "xyz", STEP_TIMEOUT, d.pump),
                 f"typing replaced the letters: {d.text(d.key_letters)!r}")
        c.expect(
            wait_for(lambda: d.description(d.key_letters).startswith("3 mögliche Zeichen."),
                     STEP_TIMEOUT, d.pump),
            f"the description after typing: {d.description(d.key_letters)!r}")
        c.equal(d.name(d.count), "mögliche Zeichen: 3", "the count label after typing")
        c.expect(wait_for(lambda: len(events) >= 3, STEP_TIMEOUT, d.pump),
                 f"a description change reached the bus for every keystroke: {len(events)}")

        seen = len(events)
        d.keys("BackSpace")
        c.expect(
            wait_for(lambda: d.description(d.key_letters).startswith("2 mögliche Zeichen."),
                     STEP_TIMEOUT, d.pump),
            f"the description after BackSpace: {d.description(d.key_letters)!r}")
        c.expect(wait_for(lambda: len(events) > seen, STEP_TIMEOUT, d.pump),
                 "BackSpace sent a description change")
        d.type("q")
        c.expect(
            wait_for(lambda: d.description(d.key_letters).startswith("3 mögliche Zeichen."),
                     STEP_TIMEOUT, d.pump),
            f"the description after one more letter: {d.description(d.key_letters)!r}")
    finally:
        d.pyatspi.Registry.deregisterEventListener(
            on_description, "object:property-change:accessible-description")


def check_access_keys(d, c):
    """Alt+L, K, Z and E move the focus; nothing types, ticks or presses."""
    for keys, target in (("alt+l", "Länge"), ("alt+k", "Key"), ("alt+z", "Zeichenvorrat"),
                         ("alt+e", "Erstellen"), ("alt+z", "Zeichenvorrat"), ("alt+l", "Länge")):
        d.keys(keys)
        c.expect(d.wait_focus(target), f"{keys} moves the focus to {target}: {d.focused()!r}")
    # In the length box now: chords that are no access key type nothing either.
    d.keys("alt+1", "alt+x", "alt+l")
    d.keys("alt+k")
    d.wait_focus("Key")
    c.equal(d.text(d.length), "63", "the length after Alt chords")
    c.equal(d.text(d.key_letters), STANDARD_KEY_LETTERS, "the key letters after Alt chords")
    c.expect(d.has(d.check_box, "checked"), "Alt+K did not untick the box")
    c.expect(d.running(), "no access key ended the program")


def check_label_click(d, c):
    """A click on the label "Key" toggles the box as a click on the box does."""
    d.click(d.key_label)
    c.expect(wait_for(lambda: not d.has(d.check_box, "checked"), STEP_TIMEOUT, d.pump),
             "a click on 'Key' unticked the box")
    c.expect(wait_for(lambda: not d.has(d.key_letters, "enabled"), STEP_TIMEOUT, d.pump),
             "unticking disabled the key letters")
    c.expect(d.wait_focus("Key"), f"the click put the focus on the box: {d.focused()!r}")
    c.equal(d.text(d.key_letters), STANDARD_KEY_LETTERS, "the key letters stay")

    d.click(d.key_label)
    c.expect(wait_for(lambda: d.has(d.check_box, "checked"), STEP_TIMEOUT, d.pump),
             "a second click ticked the box again")
    c.expect(wait_for(lambda: d.has(d.key_letters, "enabled"), STEP_TIMEOUT, d.pump),
             "ticking enabled the key letters")
    c.expect(d.description(d.key_letters).startswith("80 mögliche Zeichen."),
             f"the count after ticking: {d.description(d.key_letters)!r}")
    c.expect(d.running(), "no click ended the program")


def check_announcement(d, c):
    """From Qt 6.8 on, a changed count is also announced."""
    version = tuple(int(part) for part in d.application.toolkitVersion.split(".")[:2])
    # Announcements reach AT-SPI as their own event from Qt 6.8 on.
    if version < (6, 8):
        print(f"Qt {d.application.toolkitVersion} has no announcements", flush=True)
        return 77
    messages = []
    listener = lambda event: messages.append(str(event.any_data))
    d.pyatspi.Registry.registerEventListener(listener, "object:announcement")
    try:
        d.keys("alt+z", "BackSpace")
        c.expect(wait_for(lambda: any("0 mögliche Zeichen" in m for m in messages),
                          STEP_TIMEOUT, d.pump),
                 f"the count was announced: {messages!r}")
    finally:
        d.pyatspi.Registry.deregisterEventListener(listener, "object:announcement")
    return None


CHECKS = {
    "tree": check_tree,
    "count": check_count,
    "access_keys": check_access_keys,
    "label_click": check_label_click,
    "announcement": check_announcement,
}


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in CHECKS:
        print(__doc__, file=sys.stderr)
        return 2
    check, program = CHECKS[sys.argv[1]], sys.argv[2]
    checker = Checker()
    try:
        with Session(program) as session:
            import pyatspi  # only now: it finds the accessibility bus when it is imported
            dialog = Dialog(pyatspi, session)
            status = check(dialog, checker)
            if status is not None:
                return status
            if not dialog.running():
                checker.expect(False, "the program ended:\n" + session.output())
    except (SetUpError, subprocess.TimeoutExpired) as error:
        print(f"set-up failed: {error}", flush=True)
        return 2
    return 1 if checker.failures else 0


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(2))  # so that Session still cleans up
    sys.exit(main())
