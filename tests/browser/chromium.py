"""Headless Chromium started for one test, with a new empty profile, driven through
the DevTools pipe (devtools.py)."""
import fcntl
import os
import shutil
import signal
import subprocess

from devtools import BrowserFailure, DevTools

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-pipe", "--window-size=1100,800", "about:blank"]


def find_browser():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    return None


def _as_fds_3_and_4(commands_read, answers_write):
    # Moved out of the way first: either may already be fd 3 or 4.
    high = [fcntl.fcntl(fd, fcntl.F_DUPFD, 10) for fd in (commands_read, answers_write)]
    for target, fd in zip((3, 4), high):
        os.dup2(fd, target)


class Chromium:
    """The browser process and its DevTools connection; stop() ends it, however it
    behaved."""

    def __init__(self, executable, profile, log_path, timeout, flags=()):
        # fd 3 is the browser's command input, fd 4 its output.
        commands_read, self._commands = os.pipe()
        self._answers, answers_write = os.pipe()
        self._log = open(log_path, "wb")
        self._process = subprocess.Popen(
            [executable, *FLAGS, *flags, f"--user-data-dir={profile}"],
            stdin=subprocess.DEVNULL, stdout=self._log, stderr=subprocess.STDOUT,
            pass_fds=(3, 4), preexec_fn=lambda: _as_fds_3_and_4(commands_read, answers_write),
            start_new_session=True)
        os.close(commands_read)
        os.close(answers_write)
        self.log_path = log_path
        self.devtools = DevTools(self._commands, self._answers, timeout)
        try:
            version = self.devtools.call("Browser.getVersion")
        except BrowserFailure as failure:
            self.stop()
            raise BrowserFailure(f"Chromium did not start its DevTools session: {failure}; "
                                 f"its output:\n{self.output()}") from None
        self.version = version.get("product", "?")

    def new_page(self):
        target = self.devtools.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        return self.devtools.call("Target.attachToTarget",
                                  {"targetId": target, "flatten": True})["sessionId"]

    def allow_downloads(self, folder):
        self._downloads = folder
        self.devtools.call("Browser.setDownloadBehavior",
                           {"behavior": "allow", "downloadPath": folder, "eventsEnabled": True})

    def download(self, action):
        """Runs action (a click on a download link) and returns the path of the file
        it downloaded, once complete."""
        for event in ("Browser.downloadWillBegin", "Browser.downloadProgress"):
            self.devtools.forget_events(event)
        action()
        begun = self.devtools.wait_event("Browser.downloadWillBegin", "download")
        done = self.devtools.wait_event(
            "Browser.downloadProgress", f"end of the download of {begun['url']}",
            matches=lambda p: p["guid"] == begun["guid"] and p["state"] != "inProgress")
        if done["state"] != "completed":
            raise BrowserFailure(f"the download of {begun['url']} was {done['state']}")
        return os.path.join(self._downloads, begun["suggestedFilename"])

    def output(self):
        """The end of what the browser printed, without its complaints about the
        missing system bus."""
        with open(self.log_path, "rb") as log:
            lines = log.read().decode(errors="replace").splitlines()
        return "\n".join(line for line in lines if "dbus" not in line)[-3000:]

    def stop(self):
        if self._process.poll() is None:
            # The whole session: the browser's helper processes go with it.
            os.killpg(self._process.pid, signal.SIGKILL)
        self._process.wait()
        for fd in (self._commands, self._answers):
            os.close(fd)
        self._log.close()
