#!/usr/bin/python3
"""A queue that runs for hours, as a user meets it: the tray icon says what
the title says and its menu stops the queue; the stop holds across a SIGTERM
and a kill until "Продолжить загрузку"; a speed limit typed into its box
holds once typing rests, without Enter. The tray is a stand-in for the
desktop's tray host on the session's bus (status_notifier_watcher.py).

    tests/e2e/hours_test.py PROGRAM SERVICE_SIM_FOLDER
"""

import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from accessibility import Session, wait_until

PROGRAM = ""
SERVICE_SIM = ""  # the folder of tolvenka-service-sim
KIB = 1024
HERE = os.path.dirname(os.path.abspath(__file__))
STOPPED = "Толвенка — остановлено"
LIMIT_CAPTION = "Скорость не выше, кБ/с:"


class HoursTest(unittest.TestCase):
    def test_the_tray_tells_and_stops_and_the_stop_holds_across_a_sigterm_and_a_kill(self):
        with tempfile.TemporaryDirectory() as folder, Session() as session:
            watcher = session.start(["/usr/bin/python3", os.path.join(HERE,
                                                                      "status_notifier_watcher.py")],
                                    cwd=folder, stdout=subprocess.PIPE, text=True)
            self.assertEqual(watcher.stdout.readline().strip(), "ready")
            service = session.start([os.path.join(SERVICE_SIM, "tolvenka-service-sim"),
                                     "--file", "6001/big.bin", "--size", "64M", "--rate", "1M",
                                     "--script", "countdown:-5"],
                                    cwd=folder, stdout=subprocess.PIPE, text=True)
            host, link = (service.stdout.readline().strip() for _ in range(2))
            with open(os.path.join(folder, "downloads.txt"), "w", newline="") as queue:
                queue.write(f"0\r\n{folder}/\r\n{host}\r\n{link}\r\n{folder}/big.bin\r\n"
                            "Queue\r\n\r\n")
            config = os.path.join(folder, "config")
            settings = os.path.join(config, "tolvenka", "tolvenka.conf")
            environment = {"HOME": folder, "XDG_CONFIG_HOME": config,
                           "TOLVENKA_SERVICE_HOST": host,
                           # Qt's cache is found by name only on whole stacks.
                           "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "")
                                           + ":fast_unwind_on_malloc=0",
                           "LSAN_OPTIONS": "suppressions=" + os.path.join(HERE,
                                                                          "qt-dbus-leaks.supp")}
            part = os.path.join(folder, "big.bin.part")

            program = session.start([PROGRAM], cwd=folder, env=environment)
            window = session.window(program, "Толвенка", timeout_s=60)
            wait_until(lambda: size_of(part) > 0, lambda: "the file does not grow")
            tray = Tray(session, watcher.stdout.readline().strip())
            wait_until(lambda: tray.tooltip() == window.name,
                       lambda: f"the tooltip {tray.tooltip()!r}, the title {window.name!r}")
            self.assertRegex(tray.tooltip(), r"^\d+ % — Толвенка$")
            self.assertEqual(tray.labels(), ["Показать окно", "Остановить загрузку", "Выход"])

            tray.click("Остановить загрузку")
            wait_until(lambda: window.name == STOPPED, lambda: f"the title is {window.name!r}")
            wait_until(lambda: tray.tooltip() == STOPPED, lambda: f"the tooltip {tray.tooltip()!r}")
            self.assertEqual(tray.labels(), ["Показать окно", "Продолжить загрузку", "Выход"])
            with open(settings) as file:
                self.assertIn("stopped=true", file.read())
            self.assertEqual(stays_still(part), True)
            program.send_signal(signal.SIGTERM)
            self.assertEqual(program.wait(20), 0)

            # Stopped it starts, and stays so after a kill.
            again = session.start([PROGRAM], cwd=folder, env=environment)
            session.window(again, STOPPED, timeout_s=60)
            watcher.stdout.readline()  # its tray icon, soon gone
            self.assertTrue(stays_still(part))
            os.kill(again.pid, signal.SIGKILL)
            again.wait(20)
            with open(settings) as file:
                text = file.read()
            with open(settings, "w") as file:
                file.write(text.replace("[General]\n", "[General]\ncloseToTray=true\n"))
            third = session.start([PROGRAM], cwd=folder, env=environment)
            window = session.window(third, STOPPED, timeout_s=60)
            self.assertTrue(stays_still(part))
            session.press(session.find(window, "push button", "Продолжить загрузку"))
            wait_until(lambda: size_of(part) > 0, lambda: "the file does not grow again")

            # A limit typed, no Enter: within a second of the typing it holds.
            # The text changes as keys would change it, with no Enter after.
            limit = session.find(window, "spin button", LIMIT_CAPTION)
            self.assertTrue(limit.queryEditableText().setTextContents("200"))
            typed = time.monotonic()
            wait_until(lambda: limit.queryValue().currentValue == 200,
                       lambda: f"the box holds {limit.queryValue().currentValue}")
            time.sleep(max(0.0, typed + 1.5 - time.monotonic()))
            rate = bytes_a_second(part, 4)
            self.assertAlmostEqual(rate / (200 * KIB), 1, delta=0.15, msg=f"{rate / KIB:.0f} KiB/s")

            # Closed, the window goes to the tray and the queue goes on; the
            # tray shows it again, and its "Выход" asks as the close box did.
            tray = Tray(session, watcher.stdout.readline().strip())
            ask_to_close(session, third.pid)
            wait_until(lambda: "Толвенка" not in " ".join(session.shown_windows(third)),
                       lambda: f"showing: {session.shown_windows(third)}")
            self.assertFalse(stays_still(part, 1))
            tray.click("Показать окно")
            wait_until(lambda: any(title.endswith("Толвенка")
                                   for title in session.shown_windows(third)),
                       lambda: f"showing: {session.shown_windows(third)}")
            tray.click("Выход")
            question = session.window_holding(third, "push button", "Выйти")
            self.assertEqual(question.name, "Толвенка")
            session.press(session.find(question, "push button", "Выйти"))
            self.assertEqual(third.wait(20), 0)
            with open(settings) as file:
                text = file.read()
            self.assertIn("stopped=false", text)
            self.assertIn("speedLimit=200", text)


class Tray:
    """The program's StatusNotifierItem on the session bus, read and clicked
    as a tray host does."""

    def __init__(self, session, service):
        from gi.repository import Gio

        self.bus = Gio.DBusConnection.new_for_address_sync(
            session.environment["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        self.service = service

    def _call(self, path, interface, method, arguments, reply):
        from gi.repository import Gio, GLib

        return self.bus.call_sync(self.service, path, interface, method, arguments,
                                  GLib.VariantType(reply), Gio.DBusCallFlags.NONE, 5000,
                                  None).unpack()

    def _property(self, name):
        from gi.repository import GLib

        return self._call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                          GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", name)),
                          "(v)")[0]

    def tooltip(self):
        """The tooltip's title: (icon name, pixmaps, title, text)."""
        return self._property("ToolTip")[2]

    def _items(self):
        from gi.repository import GLib

        _revision, (_id, _properties, children) = self._call(
            self._property("Menu"), "com.canonical.dbusmenu", "GetLayout",
            GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))")
        return [(child[0], child[1]) for child in children
                if child[1].get("type") != "separator" and child[1].get("visible", True)]

    def labels(self):
        return [properties.get("label", "") for _id, properties in self._items()]

    def click(self, label):
        from gi.repository import GLib

        item = next(item_id for item_id, properties in self._items()
                    if properties.get("label") == label)
        self._call(self._property("Menu"), "com.canonical.dbusmenu", "Event",
                   GLib.Variant("(isvu)", (item, "clicked", GLib.Variant("s", ""), 0)), "()")


def ask_to_close(session, pid):
    """Sends the program's window what a window manager sends for its close
    box (the session has none): WM_DELETE_WINDOW of WM_PROTOCOLS."""
    import ctypes
    import ctypes.util

    window = int(subprocess.run(["xdotool", "search", "--all", "--pid", str(pid), "--name",
                                 "Толвенка"], env=session.environment, capture_output=True,
                                text=True, check=True).stdout.split()[0])
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("client", ClientMessage), ("pad", ctypes.c_long * 24)]

    display = x11.XOpenDisplay(session.environment["DISPLAY"].encode())
    event = Event()
    event.client.type = 33  # ClientMessage
    event.client.window = window
    event.client.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.client.format = 32
    event.client.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


def size_of(path):
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


def stays_still(path, seconds=2):
    """Whether the file keeps its size (or its absence) for `seconds`."""
    before = size_of(path)
    time.sleep(seconds)
    return size_of(path) == before


def bytes_a_second(path, seconds):
    start, start_size = time.monotonic(), size_of(path)
    time.sleep(seconds)
    return (size_of(path) - start_size) / (time.monotonic() - start)


if __name__ == "__main__":
    PROGRAM, SERVICE_SIM = (os.path.abspath(sys.argv.pop(1)) for _ in range(2))
    unittest.main(warnings="ignore")
