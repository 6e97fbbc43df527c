"""Logins, the loopback rule and TLS on the web port, against the real binary.
The users file is made with htpasswd -B and the certificate with openssl at
test time; curl plays the browser."""
import os
import shutil
import socket
import subprocess
import time
import unittest

from relay import RelayTestCase, free_port, wait_until

TOOLS = [tool for tool in ("curl", "htpasswd", "openssl") if shutil.which(tool) is None]


@unittest.skipIf(TOOLS, f"missing {TOOLS} (scripts/install-deps installs them)")
class WebAccessTest(RelayTestCase):
    def start(self, web_table, address="127.0.0.1", prepare=None):
        """A relay serving the web port with [web] web_table; prepare(relay) makes its files first."""
        self.web_port = free_port()
        web = f"{address}:{self.web_port}" if address else str(self.web_port)
        relay = self.relay("-l", "-t", free_port(), "-u", "-w", web, "-k", "outputs.toml", start=False)
        if prepare:
            prepare(relay)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write("[web]\n" + web_table)
        relay.start()
        relay.wait_listening()
        return relay

    def curl(self, url, *options):
        """(status, head) of one request; head in lower case."""
        result = subprocess.run(["curl", "-s", "-D", "-", "-o", "/dev/null", "--max-time", "20", *options, url],
                                capture_output=True, timeout=30)
        head = result.stdout.decode("latin-1")
        status = int(head.split()[1]) if head.startswith("HTTP/") else 0
        return status, head.lower()

    def url(self, path, scheme="http"):
        return f"{scheme}://127.0.0.1:{self.web_port}{path}"

    @staticmethod
    def write(path, text):
        with open(path, "w") as f:
            f.write(text)

    @staticmethod
    def make_users(relay):
        subprocess.run(["htpasswd", "-B", "-c", "-b", relay.path("users"), "alice", "s3cret"],
                       check=True, capture_output=True)

    @staticmethod
    def make_certificate(relay, name="cert.pem", key="key.pem"):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", relay.path(key), "-out", relay.path(name)], check=True, capture_output=True)

    def test_logins_and_lockout(self):
        relay = self.start('users_file = "users"\nrealm = "Front desk"\n', prepare=self.make_users)
        status, head = self.curl(self.url("/status"))
        self.assertEqual(status, 401)
        self.assertIn('www-authenticate: basic realm="front desk", charset="utf-8"', head)
        self.assertEqual(self.curl(self.url("/status"), "-u", "alice:s3cret")[0], 200)
        self.assertEqual(self.curl(self.url("/"), "-u", "alice:s3cret")[0], 200)
        self.assertEqual(self.curl(self.url("/metrics"))[0], 200)  # public unless set otherwise
        for _ in range(10):
            self.assertEqual(self.curl(self.url("/status"), "-u", "alice:wrong")[0], 401)
        status, head = self.curl(self.url("/status"), "-u", "alice:s3cret")
        self.assertEqual(status, 429)
        self.assertIn("retry-after: 60", head)
        relay.wait_log("10 failed logins from 127.0.0.1 within a minute")

    def test_tls(self):
        def prepare(relay):
            self.make_users(relay)
            self.make_certificate(relay)
            self.cacert = relay.path("cert.pem")
        self.start('users_file = "users"\nmetrics_public = false\ntls_cert = "cert.pem"\ntls_key = "key.pem"\n',
                   prepare=prepare)
        https = self.url("/metrics", "https")
        self.assertEqual(self.curl(https, "--cacert", self.cacert)[0], 401)
        self.assertEqual(self.curl(https, "--cacert", self.cacert, "-u", "alice:s3cret")[0], 200)
        # Plain HTTP and a silent peer do not hold the port up for anyone else.
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=20) as plain, \
                socket.create_connection(("127.0.0.1", self.web_port), timeout=20):
            plain.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n\r\n")
            self.assertEqual(self.curl(https, "--cacert", self.cacert, "-u", "alice:s3cret")[0], 200)
            try:
                while plain.recv(4096):  # a TLS alert at most, then the end
                    pass
            except ConnectionResetError:
                pass

    def test_start_up_refuses_bad_files(self):
        def mismatched(relay):
            self.make_certificate(relay)
            self.make_certificate(relay, "other.pem", "other.key")
        cases = [
            ('users_file = "missing"\n', None, b"outputs.toml:2: web.users_file: missing: cannot read the users file"),
            ('users_file = "users"\n', lambda r: self.write(r.path("users"), "# admins\nbob:{SHA}abc=\n"),
             b"outputs.toml:2: web.users_file: users:2: user bob: not a bcrypt hash"),
            ('tls_cert = "none.pem"\ntls_key = "key.pem"\n', None, b"outputs.toml:2: web.tls_cert: none.pem: cannot use"),
            ('tls_cert = "cert.pem"\ntls_key = "other.key"\n', mismatched, b"outputs.toml:2: web.tls_cert: other.key: cannot use the key"),
        ]
        for table, prepare, message in cases:
            with self.subTest(table=table):
                relay = self.relay("-w", free_port(), "-k", "outputs.toml", start=False)
                if prepare:
                    prepare(relay)
                with open(relay.path("outputs.toml"), "w") as f:
                    f.write("[web]\n" + table)
                relay.start()
                self.assertEqual(relay.process.wait(20), 2)
                self.assertIn(message, relay.stderr())

    def test_journal_paths_for_loopback_peers_only(self):
        added = subprocess.run(["ip", "addr", "add", "192.0.2.10/32", "dev", "lo"], capture_output=True)
        if added.returncode != 0:
            self.skipTest(f"cannot add an address to lo: {added.stderr.decode().strip()}")
        self.addCleanup(subprocess.run, ["ip", "addr", "del", "192.0.2.10/32", "dev", "lo"], capture_output=True)
        self.start('realm = "unused without users"\n', address=None)
        other = ("--interface", "192.0.2.10")
        status, _ = self.curl(self.url("/api/receipts"), *other)
        self.assertEqual(status, 403)
        body = subprocess.run(["curl", "-s", "--max-time", "20", *other, self.url("/api/receipts")],
                              capture_output=True, timeout=30).stdout
        self.assertIn(b"users_file", body)
        self.assertEqual(self.curl(self.url("/status"), *other)[0], 200)  # the live viewer as before
        self.assertNotEqual(self.curl(self.url("/api/receipts"))[0], 403)


if __name__ == "__main__":
    unittest.main()
