#!/usr/bin/python3
"""A second start in the same folder hands its links to the program that runs
there, which shows them in its confirmation dialog, as a user sees it.

    tests/e2e/hand_over_test.py PROGRAM
"""

import os
import sys
import tempfile
import unittest

from accessibility import Session

PROGRAM = ""


class HandOverTest(unittest.TestCase):
    def test_a_second_start_hands_over_its_links_and_the_first_shows_them(self):
        with tempfile.TemporaryDirectory() as folder, Session() as session:
            # No service answers: the links are only offered, never fetched.
            host = "127.0.0.1:9"
            environment = {"HOME": folder, "TOLVENKA_SERVICE_HOST": host}
            first = session.start([PROGRAM], cwd=folder, env=environment)
            # The first program on a new bus waits for the accessibility bus to start.
            session.window(first, "Толвенка", timeout_s=60)

            links = [f"http://{host}/files/1/one.zip", f"http://{host}/files/2/two.zip"]
            second = session.start([PROGRAM, *links], cwd=folder, env=environment)
            self.assertEqual(second.wait(20), 0)

            dialog = session.window(first, "Подтверждение списка загрузок")
            self.assertEqual(session.items(session.find(dialog, "list")), links)
            self.assertIsNone(first.poll())


if __name__ == "__main__":
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    unittest.main(warnings="ignore")
