#!/usr/bin/python3
"""What arrived, as a user meets it: a file that came over https leaves the
list, and offered again over http, with its letters raw, or with the host in
capitals, it reads "уже загружен" and comes unticked, so that no second copy
is fetched; the window of the history lists it.

    tests/e2e/history_test.py PROGRAM SERVICE_SIM_FOLDER
"""

import datetime
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

from accessibility import Session, wait_until

PROGRAM = ""
SERVICE_SIM = ""  # the folder of tolvenka-service-sim and tolvenka-service-sim-check
DIALOG_TITLE = "Подтверждение списка загрузок"
NAME = "Отчёт.pdf"
SIZE = 300000


class HistoryTest(unittest.TestCase):
    def test_a_file_that_arrived_is_offered_unticked_however_its_link_is_spelt(self):
        with tempfile.TemporaryDirectory() as scratch, Session() as session:
            home = os.path.join(scratch, "home")
            os.mkdir(home)
            escaped = urllib.parse.quote(NAME)
            service = session.start([os.path.join(SERVICE_SIM, "tolvenka-service-sim"),
                                     "--file", f"4001/{escaped}", "--size", str(SIZE),
                                     "--script", "countdown:-5"],
                                    cwd=scratch, stdout=subprocess.PIPE, text=True)
            service_port = service.stdout.readline().strip().rsplit(":", 1)[1]
            authority = make_certificates(scratch)
            port = start_tls_site(session, scratch, service_port)
            host = f"localhost:{port}"
            environment = {"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                           "TOLVENKA_SERVICE_HOST": host, "SSL_CERT_FILE": authority}

            link = f"https://{host}/files/4001/{escaped}"
            program = session.start([PROGRAM, link], cwd=home, env=environment)
            dialog = session.window(program, DIALOG_TITLE, timeout_s=60)
            self.assertEqual(session.items(session.find(dialog, "list")),
                             [f"https://{host}/files/4001/{NAME}"])
            session.press(session.find(dialog, "push button", "Загрузить"))
            downloads = os.path.join(home, "Downloads")
            self.wait_for_file(os.path.join(downloads, NAME))
            # Its row leaves the list (which has no empty row then either).
            window = session.window(program, "Толвенка")
            grid = session.find(window, "table").queryTable()
            wait_until(lambda: grid.nRows == 0, lambda: f"the list has {grid.nRows} rows")

            today = datetime.date.today().strftime("%d.%m.%Y")
            for spelt in (f"http://{host}/files/4001/{escaped}",
                          f"https://{host}/files/4001/{NAME}",
                          f"https://LOCALHOST:{port}/files/4001/{escaped.lower()}"):
                later = session.start([PROGRAM, spelt], cwd=home, env=environment)
                self.assertEqual(later.wait(20), 0, spelt)
                dialog = session.window(program, DIALOG_TITLE)
                rows = session.find(dialog, "list")
                wait_until(lambda: len(session.items(rows)) == 1,
                           lambda: f"the rows are {session.items(rows)}")
                self.assertTrue(session.items(rows)[0].endswith(f" — уже загружен {today}"),
                                session.items(rows))
                self.assertFalse(session.is_checked(session.children(rows)[0]), spelt)
                session.find(dialog, "label", "Уже загружены, не отмечены: 1.")
                session.press(session.find(dialog, "push button", "Загрузить"))
                wait_until(lambda: DIALOG_TITLE not in session.shown_windows(program),
                           lambda: "the dialog stays")

            session.press(session.find(window, "push button", "История…"))
            history = session.window(program, "Загруженные файлы")
            session.find(history, "table cell", NAME)
            time.sleep(2)  # a second copy would be on its way by now
            self.assertEqual(os.listdir(downloads), [NAME])

            program.terminate()
            self.assertEqual(program.wait(20), 0)

    @staticmethod
    def wait_for_file(path):
        check = [os.path.join(SERVICE_SIM, "tolvenka-service-sim-check"), "4001", str(SIZE), path]
        deadline = time.monotonic() + 30
        while subprocess.run(check, capture_output=True).returncode != 0:
            if time.monotonic() > deadline:
                subprocess.run(check)  # says what is wrong
                raise AssertionError(f"{path} did not arrive whole")
            time.sleep(0.2)


def read(path):
    try:
        with open(path, newline="") as file:
            return file.read()
    except OSError:
        return None


def make_certificates(folder):
    """A certificate authority and a certificate for localhost signed by it;
    returns the authority's file, which the program is to trust."""
    def run(*argv):
        subprocess.run(argv, cwd=folder, check=True, capture_output=True)
    for name in ("authority", "site"):
        run("openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
            "-out", f"{name}.key")
    run("openssl", "req", "-x509", "-new", "-key", "authority.key", "-out", "authority.pem",
        "-days", "2", "-subj", "/CN=history test authority")
    run("openssl", "req", "-new", "-key", "site.key", "-out", "site.csr", "-subj", "/CN=localhost")
    with open(os.path.join(folder, "site.ext"), "w") as extensions:
        extensions.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                         "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
    run("openssl", "x509", "-req", "-in", "site.csr", "-CA", "authority.pem", "-CAkey",
        "authority.key", "-CAcreateserial", "-out", "site.pem", "-days", "2",
        "-extfile", "site.ext")
    return os.path.join(folder, "authority.pem")


def start_tls_site(session, folder, service_port):
    """nginx with TLS on loopback in front of the simulated service, which
    gives its pages' addresses as the site's; returns the site's port."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    config = os.path.join(folder, "nginx.conf")
    with open(config, "w") as file:
        file.write(f"""daemon off;
master_process off;
worker_processes 1;
error_log {folder}/error.log;
pid {folder}/nginx.pid;
events {{ worker_connections 64; }}
http {{
    access_log off;
    client_body_temp_path {folder}/body;
    proxy_temp_path {folder}/proxy;
    fastcgi_temp_path {folder}/fastcgi;
    uwsgi_temp_path {folder}/uwsgi;
    scgi_temp_path {folder}/scgi;
    server {{
        listen 127.0.0.1:{port} ssl;
        listen [::1]:{port} ssl;
        ssl_certificate {folder}/site.pem;
        ssl_certificate_key {folder}/site.key;
        location / {{
            proxy_pass http://127.0.0.1:{service_port};
            proxy_http_version 1.1;
            proxy_buffering off;
            proxy_set_header Connection "";
            proxy_set_header X-Forwarded-Host $host:$server_port;
            proxy_set_header X-Forwarded-Proto $scheme;
        }}
    }}
}}
""")
    session.start(["/usr/sbin/nginx", "-p", folder, "-c", config, "-e", f"{folder}/error.log"],
                  cwd=folder, stderr=subprocess.DEVNULL)

    def accepts():
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            return False
    wait_until(accepts, lambda: f"nginx does not listen: {read(folder + '/error.log')}")
    return port


if __name__ == "__main__":
    PROGRAM, SERVICE_SIM = (os.path.abspath(sys.argv.pop(1)) for _ in range(2))
    unittest.main(warnings="ignore")
