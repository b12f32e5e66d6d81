#!/usr/bin/python3
"""The speed limit and the watch on the clipboard as a user meets them: every
second of a transfer keeps to the limit, a change is followed within a
second, links copied in another program are offered once, and both choices
are there again at the next start.

    tests/e2e/comfort_test.py PROGRAM SERVICE_SIM_FOLDER
"""

import os
import subprocess
import sys
import tempfile
import time
import unittest

from accessibility import Session, wait_until

PROGRAM = ""
SERVICE_SIM = ""  # the folder of tolvenka-service-sim
KIB = 1024
LIMIT_CAPTION = "Скорость не выше, кБ/с:"
WATCH_CAPTION = "Следить за буфером обмена"
DIALOG_TITLE = "Подтверждение списка загрузок"


class ComfortTest(unittest.TestCase):
    def test_the_limit_holds_every_second_the_watch_offers_copies_and_both_are_kept(self):
        with tempfile.TemporaryDirectory() as folder, Session() as session:
            service = session.start([os.path.join(SERVICE_SIM, "tolvenka-service-sim"),
                                     "--file", "5001/big.bin", "--size", "32M",
                                     "--script", "countdown:-5",
                                     "--file", "5002/copied.zip", "--size", "1000"],
                                    cwd=folder, stdout=subprocess.PIPE, text=True)
            host, big, copied = (service.stdout.readline().strip() for _ in range(3))
            with open(os.path.join(folder, "downloads.txt"), "w", newline="") as queue:
                queue.write(f"0\r\n{folder}/\r\n{host}\r\n{big}\r\n{folder}/big.bin\r\n"
                            "Queue\r\n\r\n")
            config = os.path.join(folder, "config")
            settings = os.path.join(config, "tolvenka", "tolvenka.conf")
            os.makedirs(os.path.dirname(settings))
            with open(settings, "w") as file:
                file.write("[General]\nspeedLimit=300\n")
            environment = {"HOME": folder, "XDG_CONFIG_HOME": config,
                           "TOLVENKA_SERVICE_HOST": host}

            program = session.start([PROGRAM], cwd=folder, env=environment)
            window = session.window(program, "Толвенка", timeout_s=60)
            part = os.path.join(folder, "big.bin.part")
            sizes = PartFile(part)
            sizes.wait_for_bytes()
            sizes.follow(6)
            self.expect_every_second_near(sizes.after(sizes.start + 2), 300 * KIB)

            session.find(window, "spin button", LIMIT_CAPTION).queryValue().currentValue = 600
            changed = time.monotonic()
            sizes.follow(5)
            self.expect_every_second_near(sizes.after(changed + 1), 600 * KIB)

            session.press(session.find(window, "check box", WATCH_CAPTION))
            link = f"http://{host}/files/5002/copied.zip"
            self.assertEqual(copied, link)
            copy(session, "primary", link)
            time.sleep(1)
            self.assertNotIn(DIALOG_TITLE, session.shown_windows(program))
            copy(session, "clipboard", f"see {link} and http://{host}/list")
            dialog = session.window(program, DIALOG_TITLE)
            self.assertEqual(session.items(session.find(dialog, "list")), [link])
            session.press(session.find(dialog, "push button", "Отмена"))
            copy(session, "clipboard", link)
            time.sleep(1)
            self.assertNotIn(DIALOG_TITLE, session.shown_windows(program))

            program.terminate()
            self.assertEqual(program.wait(20), 0)
            with open(settings) as file:
                self.assertEqual(file.read(), "[General]\nspeedLimit=600\nwatchClipboard=true\n")

            again = session.start([PROGRAM], cwd=folder, env=environment)
            window = session.window(again, "Толвенка")
            limit = session.find(window, "spin button", LIMIT_CAPTION)
            self.assertEqual(limit.queryValue().currentValue, 600)
            watch = session.find(window, "check box", WATCH_CAPTION)
            self.assertTrue(session.is_checked(watch))
            again.terminate()
            self.assertEqual(again.wait(20), 0)

    def expect_every_second_near(self, samples, rate):
        """Each second from each sample on, by the sizes the file had then and
        a second later, is within 10 % of `rate` bytes a second."""
        seconds = 0
        for index, (start, start_size) in enumerate(samples):
            end, end_size = next(((at, size) for at, size in samples[index:] if at >= start + 1),
                                 (None, None))
            if end is None:
                break
            seconds += 1
            measured = (end_size - start_size) / (end - start)
            self.assertAlmostEqual(measured / rate, 1, delta=0.1,
                                   msg=f"{measured / KIB:.0f} KiB/s from {start:.2f} s")
        self.assertGreater(seconds, 20)


class PartFile:
    """The sizes a growing file had, with the time each was seen."""

    def __init__(self, path):
        self.path = path
        self.samples = []
        self.start = None

    def size(self):
        try:
            return os.path.getsize(self.path)
        except OSError:
            return 0

    def wait_for_bytes(self, timeout_s=30):
        wait_until(lambda: self.size() > 0, lambda: f"{self.path} did not grow", timeout_s)
        self.start = time.monotonic()

    def follow(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.samples.append((time.monotonic(), self.size()))
            time.sleep(0.02)

    def after(self, moment):
        return [sample for sample in self.samples if sample[0] >= moment]


def copy(session, selection, text):
    """Another program puts `text` on an X selection ("clipboard" or
    "primary") and keeps it there."""
    subprocess.run(["xclip", "-selection", selection], input=text, text=True, check=True,
                   env=session.environment)


if __name__ == "__main__":
    PROGRAM, SERVICE_SIM = (os.path.abspath(sys.argv.pop(1)) for _ in range(2))
    unittest.main(warnings="ignore")
