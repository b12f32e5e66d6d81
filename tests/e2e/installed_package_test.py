#!/usr/bin/python3
"""The Debian package as a user gets it: what it installs, and the program
unpacked from it running against the simulated service.

    tests/e2e/installed_package_test.py PACKAGE.deb SERVICE_SIM_FOLDER
"""

import os
import subprocess
import sys
import tempfile
import time
import unittest

from accessibility import Session

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
        # Qt's own dialogs speak Russian only with these.
        self.assertIn("qt6-translations-l10n", depends)

    def test_unpacked_program_downloads_a_link_and_shows_qt_dialogs_in_russian(self):
        with tempfile.TemporaryDirectory() as scratch, Session() as session:
            root, home = os.path.join(scratch, "root"), os.path.join(scratch, "home")
            os.mkdir(home)
            subprocess.run(["dpkg-deb", "--extract", PACKAGE, root], check=True)
            host, link = self.start_service(session, scratch)

            program = session.start(
                [os.path.join(root, "usr/bin/tolvenka"), link], cwd=home,
                env={"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                     "TOLVENKA_SERVICE_HOST": host})
            dialog = session.window(program, "Подтверждение списка загрузок")
            self.assertEqual(session.items(session.find(dialog, "list")), [link])
            session.press(session.find(dialog, "push button", "..."))
            folders = session.window(program, "Выберите каталог:")
            self.assertIn("Выбрать", session.texts(folders))
            session.press(session.find(folders, "push button", "Отмена"))
            session.press(session.find(dialog, "push button", "Загрузить"))

            self.wait_for_file(os.path.join(home, "Downloads", "report.pdf"))
            program.terminate()
            self.assertEqual(program.wait(10), 0)

    @staticmethod
    def start_service(session, cwd):
        """The simulated service with one file; returns its host and the
        file's link, the first two lines it prints."""
        service = session.start([os.path.join(SERVICE_SIM, "tolvenka-service-sim"),
                                 "--file", "4001/report.pdf", "--size", "300000"],
                                cwd=cwd, stdout=subprocess.PIPE, text=True)
        return service.stdout.readline().strip(), service.stdout.readline().strip()

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
