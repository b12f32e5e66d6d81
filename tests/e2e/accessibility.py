"""Drives a program through the desktop's accessibility bus (AT-SPI), the way a
screen reader does: windows and controls are found by their role and text,
buttons are pressed, text boxes typed into, lists and labels read. A test
written this way does not break when the layout moves a button.

Qt exposes its widgets on the bus only on a real display platform (not on
"offscreen"), so a Session brings a private one: an X server (Xvfb), a D-Bus
session bus and, started by it on demand, the accessibility bus and its
registry. Nothing of the user's own desktop is touched.

One Session per Python process: the accessibility library keeps the first
bus it connected to.

    with Session() as session:
        program = session.start(["tolvenka"], cwd=folder)
        window = session.window(program, "Толвенка")
        session.press(session.find(window, "push button", "Добавить"))
"""

import os
import signal
import subprocess
import tempfile
import time

TIMEOUT_S = 20


class Session:
    def __init__(self):
        self._processes = []
        self._runtime = tempfile.TemporaryDirectory(prefix="a11y-")
        # Not the user's desktop, nor the user's settings: a program of the
        # session keeps them under the HOME that its test gives it.
        self.environment = {
            key: value
            for key, value in os.environ.items()
            if key not in ("WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "QT_QPA_PLATFORMTHEME",
                           "XDG_CONFIG_HOME")
        }
        self.environment["XDG_RUNTIME_DIR"] = self._runtime.name
        self.environment["QT_QPA_PLATFORM"] = "xcb"
        self.environment["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        try:
            # -noreset: an X server resets when its last client leaves, and
            # refuses connections meanwhile; the accessibility bus's launcher
            # is such a passing client.
            display = self._start_and_read(["Xvfb", "-displayfd", "1", "-screen", "0",
                                            "1280x1024x24", "-nolisten", "tcp", "-noreset"])
            _wait_for_display(display)
            self.environment["DISPLAY"] = ":" + display
            self.environment["DBUS_SESSION_BUS_ADDRESS"] = self._start_and_read(
                ["dbus-daemon", "--session", "--nofork", "--print-address=1"])
            # The accessibility library finds the bus through this process's
            # own environment.
            for key in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"):
                os.environ[key] = self.environment[key]
            import pyatspi

            self._registry = pyatspi.Registry
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def close(self):
        """Ends every program and server of the session, the newest first;
        each runs in a process group of its own, which also holds what it
        started (the bus starts the accessibility bus and registry)."""
        for process in reversed(self._processes):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
            if process.stdout is not None:
                process.stdout.close()
        self._processes.clear()
        self._runtime.cleanup()

    def start(self, argv, cwd, env=None, **popen_args):
        """Starts a program in the session, with `env` added to its
        environment; returns its subprocess.Popen."""
        process = subprocess.Popen(argv, cwd=cwd, env={**self.environment, **(env or {})},
                                   start_new_session=True, **popen_args)
        self._processes.append(process)
        return process

    def _start_and_read(self, argv):
        """Starts a server that prints where it listens; returns that line."""
        process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   text=True, env=self.environment, start_new_session=True)
        self._processes.append(process)
        line = process.stdout.readline().strip()
        if not line:
            raise RuntimeError(f"{argv[0]} did not start")
        return line

    def window(self, process, title, timeout_s=TIMEOUT_S):
        """The top-level window or dialog of `process` named `title`, once
        it is shown; a title may be led by the share of a transfer under
        way ("48 % — Толвенка")."""
        return _wait(lambda: next((window for window in self._windows(process)
                                   if window.name == title
                                   or window.name.endswith(" — " + title)), None),
                     timeout_s,
                     lambda: f"no window {title!r}; there are "
                             f"{[window.name for window in self._windows(process)]}")

    def window_holding(self, process, role, name, timeout_s=TIMEOUT_S):
        """The window or dialog of `process` that holds a control of this
        role and text, once one shows: of several with one title (a message
        box captioned with the program's name over its window), the one
        that asks."""
        def holding(window):
            return any(node.getRoleName() == role and node.name == name
                       for node in _descendants(window))
        return _wait(lambda: next(filter(holding, self._windows(process)), None), timeout_s,
                     lambda: f"no window of {process.pid} holds the {role} {name!r}")

    def shown_windows(self, process):
        """The titles of the windows and dialogs of `process` that show now."""
        import pyatspi

        return [window.name for window in self._windows(process)
                if window.getState().contains(pyatspi.STATE_SHOWING)]

    def _windows(self, process):
        desktop = self._registry.getDesktop(0)
        for app in _children(desktop):
            if _process_id(app) == process.pid:
                yield from _children(app)

    @staticmethod
    def find(root, role, name=None, timeout_s=TIMEOUT_S):
        """The shallowest control under `root` with the role (as AT-SPI names it:
        "push button", "text", "list", "label", ...) and, unless None, the
        text."""
        def matches(node):
            return node.getRoleName() == role and (name is None or node.name == name)
        return _wait(lambda: next(filter(matches, _descendants(root)), None), timeout_s,
                     lambda: f"no {role} {name!r} in {root.name!r}")

    @staticmethod
    def press(control):
        """Presses a button (or clicks whatever names its first action)."""
        action = control.queryAction()
        names = [action.getName(index) for index in range(action.nActions)]
        action.doAction(names.index("Press") if "Press" in names else 0)

    @staticmethod
    def is_checked(control):
        """Whether a check box is ticked."""
        import pyatspi

        return control.getState().contains(pyatspi.STATE_CHECKED)

    @staticmethod
    def items(list_control):
        """The texts of the items of a list, in order."""
        return [item.name for item in _children(list_control)]

    @staticmethod
    def children(control):
        """The controls right under `control`, in order."""
        return list(_children(control))

    @staticmethod
    def texts(root, roles=("label", "push button")):
        """The texts of the controls of these roles under `root`."""
        return [node.name for node in _descendants(root) if node.getRoleName() in roles]


def _wait_for_display(number):
    """Waits until the X server takes connections."""
    import socket

    def accepts():
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
            try:
                probe.connect(f"/tmp/.X11-unix/X{number}")
                return True
            except OSError:
                return None
    _wait(accepts, TIMEOUT_S, lambda: f"the X server :{number} takes no connections")


def wait_until(holds, describe_failure, timeout_s=TIMEOUT_S):
    """Waits until `holds()`; after `timeout_s` fails with `describe_failure()`."""
    _wait(lambda: True if holds() else None, timeout_s, describe_failure)


def _wait(lookup, timeout_s, describe_failure):
    deadline = time.monotonic() + timeout_s
    while True:
        found = lookup()
        if found is not None:
            return found
        if time.monotonic() > deadline:
            raise AssertionError(describe_failure())
        time.sleep(0.1)


def _children(node):
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield child


def _descendants(node):
    """Every control under `node`, the shallower first: a search ends before
    it walks the cells of a deep table it does not need."""
    level = list(_children(node))
    while level:
        yield from level
        level = [child for parent in level for child in _children(parent)]


def _process_id(app):
    try:
        return app.get_process_id()
    except Exception:  # an application that has just left the bus
        return None
