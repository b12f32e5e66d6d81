#!/usr/bin/python3
"""The Debian package as a user gets it: what it installs, and the program
unpacked from it running against the simulated service.

    tests/e2e/installed_package_test.py PACKAGE.deb SERVICE_SIM_FOLDER
"""

import datetime
import os
import subprocess
import sys
import tempfile
import time
import unittest

from accessibility import Session, wait_until

PACKAGE = ""
SERVICE_SIM = ""  # the folder of tolvenka-service-sim and tolvenka-service-sim-check

APP_ID = "org.tolvenka.tolvenka"


class InstalledPackageTest(unittest.TestCase):
    def test_installs_the_program_and_its_desktop_files_and_nothing_else(self):
        listing = subprocess.run(["dpkg-deb", "--contents", PACKAGE], check=True,
                                 capture_output=True, text=True).stdout
        files = {line.split()[-1].removeprefix(".") for line in listing.splitlines()
                 if not line.startswith("d")}
        self.assertEqual(files, {
            "/usr/bin/tolvenka",
            f"/usr/share/applications/{APP_ID}.desktop",
            f"/usr/share/metainfo/{APP_ID}.metainfo.xml",
            f"/usr/share/icons/hicolor/scalable/apps/{APP_ID}.svg",
            f"/usr/share/icons/hicolor/48x48/apps/{APP_ID}.png",
            f"/usr/share/icons/hicolor/256x256/apps/{APP_ID}.png",
            "/usr/share/man/man1/tolvenka.1.gz",
            "/usr/share/man/ru/man1/tolvenka.1.gz",
            "/usr/share/doc/tolvenka/changelog.gz",
            "/usr/share/doc/tolvenka/copyright",
        })
        depends = subprocess.run(["dpkg-deb", "--field", PACKAGE, "Depends"], check=True,
                                 capture_output=True, text=True).stdout
        # Qt's own dialogs speak Russian only with these; the history is
        # kept through Qt's SQLite driver.
        self.assertIn("qt6-translations-l10n", depends)
        self.assertIn("libqt6sql6-sqlite", depends)
        recommends = subprocess.run(["dpkg-deb", "--field", PACKAGE, "Recommends"], check=True,
                                    capture_output=True, text=True).stdout
        # "Открыть файл" and "Открыть папку" hand the file to the desktop through it.
        self.assertIn("xdg-utils", recommends)

    def test_unpacked_program_downloads_a_link_and_shows_qt_dialogs_in_russian(self):
        with tempfile.TemporaryDirectory() as scratch, Session() as session:
            root, home = os.path.join(scratch, "root"), os.path.join(scratch, "home")
            os.mkdir(home)
            subprocess.run(["dpkg-deb", "--extract", PACKAGE, root], check=True)
            host, (link, later) = self.start_service(session, scratch)
            tolvenka = os.path.join(root, "usr/bin/tolvenka")
            environment = {"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                           "TOLVENKA_SERVICE_HOST": host}

            program = session.start([tolvenka, link], cwd=home, env=environment)
            dialog = session.window(program, "Подтверждение списка загрузок")
            self.assertEqual(session.items(session.find(dialog, "list")), [link])
            session.press(session.find(dialog, "push button", "..."))
            folders = session.window(program, "Выберите каталог:")
            self.assertIn("Выбрать", session.texts(folders))
            session.press(session.find(folders, "push button", "Отмена"))
            session.press(session.find(dialog, "push button", "Загрузить"))
            downloads = os.path.join(home, "Downloads")
            self.wait_for_file(os.path.join(downloads, "report.pdf"))

            # Its row is gone (finished downloads leave the list); the same
            # link again, from a later start, is offered unticked.
            self.hand_over(session, tolvenka, link, home, environment)
            rows = session.find(dialog, "list")
            today = datetime.date.today().strftime("%d.%m.%Y")
            wait_until(lambda: session.items(rows) == [f"{link} — уже загружен {today}"],
                       lambda: f"the rows are {session.items(rows)}")
            self.assertFalse(session.is_checked(next(iter(session.children(rows)))))
            session.press(session.find(dialog, "push button", "Загрузить"))

            # The service names the minutes to wait: the download says them
            # and counts them down. A second copy would have come first.
            self.hand_over(session, tolvenka, later, home, environment)
            wait_until(lambda: session.items(rows) == [later],
                            lambda: f"the rows are {session.items(rows)}")
            session.press(session.find(dialog, "push button", "Загрузить"))
            window = session.window(program, "Толвенка")
            session.find(window, "label", "Подождите 12 минут")
            self.assertTrue(any(text in session.texts(window, ("label",))
                                for text in ("0:12:00", "0:11:59", "0:11:58")))
            # The title and the status line count it down too.
            wait_until(lambda: window.name.startswith("Ожидание 1"),
                       lambda: f"the title is {window.name!r}")
            self.assertRegex(window.name, r"^Ожидание 1[12]:\d\d — Толвенка$")
            self.assertTrue(any(text.startswith("В очереди: 1 · Подождите 12 минут (ещё 1")
                                for text in session.texts(window, ("label",))),
                            session.texts(window, ("label",)))
            self.assertEqual(sorted(os.listdir(downloads)), ["report.pdf"])

            program.terminate()
            self.assertEqual(program.wait(10), 0)

    @staticmethod
    def start_service(session, cwd):
        """The simulated service with two files, the second of which is
        refused with a wait of 12 minutes; returns its host and the files'
        links, the lines it prints first."""
        service = session.start([os.path.join(SERVICE_SIM, "tolvenka-service-sim"),
                                 "--file", "4001/report.pdf", "--size", "300000",
                                 "--file", "4002/later.pdf", "--size", "1000",
                                 "--script", "wait:12"],
                                cwd=cwd, stdout=subprocess.PIPE, text=True)
        lines = [service.stdout.readline().strip() for _ in range(3)]
        return lines[0], lines[1:]

    @staticmethod
    def hand_over(session, tolvenka, link, home, environment):
        """A later start in the same folder, which hands `link` to the
        program that runs there."""
        later = session.start([tolvenka, link], cwd=home, env=environment)
        if later.wait(20) != 0:
            raise AssertionError(f"a later start with {link} ended with {later.returncode}")

    @staticmethod
    def wait_for_file(path):
        check = [os.path.join(SERVICE_SIM, "tolvenka-service-sim-check"), "4001", "300000", path]
        deadline = time.monotonic() + 30
        while subprocess.run(check, capture_output=True).returncode != 0:
            if time.monotonic() > deadline:
                subprocess.run(check)  # says what is wrong
                raise AssertionError(f"{path} did not arrive whole")
            time.sleep(0.2)


if __name__ == "__main__":
    PACKAGE, SERVICE_SIM = (os.path.abspath(sys.argv.pop(1)) for _ in range(2))
    unittest.main(warnings="ignore")
