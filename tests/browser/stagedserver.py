"""The staged websvr, run hidden from a copy of the program folder in a temporary
folder, with its real dbsvr, on a free loopback port."""
import base64
import hashlib
import os
import select
import shutil
import signal
import ssl
import subprocess
import sys
import time
import urllib.error
import urllib.request

# The tests' shared helpers lie in tests/support.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from freeports import free_ports  # noqa: E402


class StagedServer:
    """Starts websvr; address is what it printed, admin_key what it handed over
    through QV_ADMIN_KEY_FILE. user_mode "APPLICATION" gives the application accounts
    with passwords (setup_address: the first administrator's set-up address it printed);
    trusted_proxies goes to TrustedProxies (loopback there: the browser is anonymous,
    not the program's own account). With https, HTTPS is on with the certificate websvr
    makes (certificate: its file) and address and setup_address go over HTTPS to
    localhost, which the certificate names."""

    def __init__(self, stage, work, timeout, user_mode=None, trusted_proxies=None, https=False):
        self.folder = os.path.join(work, "program")
        shutil.copytree(stage, self.folder, symlinks=True)
        for leftover in ("data", "Temp"):
            shutil.rmtree(os.path.join(self.folder, leftover), ignore_errors=True)
        self.port, secure_port = free_ports(2)
        os.makedirs(os.path.join(self.folder, "data", "config"))
        trusted = f"<TrustedProxies>{trusted_proxies}</TrustedProxies>" if trusted_proxies else ""
        secure = (f"<HttpsEnabled>1</HttpsEnabled><HttpsPort>{secure_port}</HttpsPort>"
                  if https else "")
        with open(os.path.join(self.folder, "data", "config", "webserver.xml"), "w") as settings:
            settings.write(f"<Settings><TCPPort>{self.port}</TCPPort>{trusted}{secure}</Settings>")
        self.certificate = os.path.join(self.folder, "data", "https-certificate.pem")
        if user_mode:
            with open(os.path.join(self.folder, "context.xml"), "w") as context:
                context.write(f"<Context><Users><Method>{user_mode}</Method></Users></Context>")
        temp = os.path.join(work, "temp")
        os.makedirs(temp)
        key_file = os.path.join(work, "adminkey")
        self._output = open(os.path.join(work, "websvr.out"), "w+b")
        self._process = subprocess.Popen(
            ["program/websvr", "hidden"], cwd=work, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=self._output,
            env={**os.environ, "TEMP": temp, "QV_ADMIN_KEY_FILE": key_file})
        self.address = self._serving_line(timeout, "http").removeprefix("Serving ")
        if https:
            printed = self._serving_line(timeout, "https").removeprefix("Serving ")
            self.address = printed.replace("//127.0.0.1:", "//localhost:")
        self.setup_address = None
        if user_mode == "APPLICATION":
            # Over localhost too, where the session cookie of the set-up must hold.
            self.setup_address = self._line(timeout).removeprefix(
                "Set up the first administrator: ").replace("//127.0.0.1:", "//localhost:", 1)
        with open(key_file) as key:
            self.admin_key = key.read().strip()
        self._await_data_server(timeout)

    def _serving_line(self, timeout, scheme):
        text = self._line(timeout)
        if not text.startswith(f"Serving {scheme}://"):
            raise AssertionError(f"websvr printed {text!r}, not the {scheme} address it serves")
        return text

    def certificate_spki_hash(self):
        """The base64 SHA-256 of the made certificate's public key (SPKI, DER), by which a
        browser can be told to trust it."""
        key = subprocess.run(["openssl", "x509", "-in", self.certificate, "-noout", "-pubkey"],
                             capture_output=True, check=True).stdout
        der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "der"], input=key,
                             capture_output=True, check=True).stdout
        return base64.b64encode(hashlib.sha256(der).digest()).decode()

    def _line(self, timeout):
        deadline = time.monotonic() + timeout
        line = b""
        while not line.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([self._process.stdout], [], [], remaining)[0]:
                raise AssertionError(f"websvr printed no address within {timeout} s: {line!r}")
            byte = os.read(self._process.stdout.fileno(), 1)
            if not byte:
                raise AssertionError(f"websvr ended ({self._process.wait()}) before serving: "
                                     f"{line!r} {self.errors()}")
            line += byte
        return line.decode().strip()

    def _await_data_server(self, timeout):
        # Dynamic pages answer 500 until the data server runs; the browser should
        # meet a server that is ready, as a person opening the printed page would.
        deadline = time.monotonic() + timeout
        trust = (ssl.create_default_context(cafile=self.certificate)
                 if self.address.startswith("https:") else None)
        while True:
            try:
                with urllib.request.urlopen(self.address, timeout=timeout,
                                            context=trust) as answer:
                    if answer.status == 200:
                        return
            except (urllib.error.URLError, ConnectionError):
                pass
            if time.monotonic() > deadline:
                raise AssertionError(f"the home page did not answer 200 within {timeout} s")
            time.sleep(0.2)

    def errors(self):
        with open(self._output.name, "rb") as output:
            return output.read().decode(errors="replace")[-2000:]

    def log(self):
        logs = os.path.join(self.folder, "data", "Logs")
        text = ""
        for name in sorted(os.listdir(logs)) if os.path.isdir(logs) else []:
            with open(os.path.join(logs, name), "rb") as log:
                text += log.read().decode("cp1252", errors="replace")
        return text

    def stop(self):
        if self._process.poll() is None:
            self._process.send_signal(signal.SIGTERM)
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._process.stdout.close()
        self._output.close()
