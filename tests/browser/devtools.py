"""A small client of Chromium's DevTools protocol over --remote-debugging-pipe:
JSON messages ended by a NUL byte, commands written to the browser's fd 3 and
answers and events read from its fd 4. One connection carries every target, each
page addressed by the session id of a flat attachment.

Every wait has a deadline: a browser that stops answering, crashes or closes the
pipe raises BrowserFailure with what was awaited, never hangs the test.
"""
import json
import os
import select
import time


class BrowserFailure(Exception):
    pass


class DevTools:
    def __init__(self, write_fd, read_fd, timeout):
        self._write_fd = write_fd
        self._read_fd = read_fd
        self._timeout = timeout
        self._buffer = b""
        self._next_id = 0
        self._answers = {}
        self._events = []

    def call(self, method, params=None, session=None, timeout=None):
        """Sends a command and returns its result; a protocol error raises."""
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        self._write(json.dumps(message).encode() + b"\0")
        answer = self._read_until(lambda: self._answers.pop(self._next_id, None),
                                  f"answer to {method}", timeout)
        if "error" in answer:
            raise BrowserFailure(f"{method} failed: {answer['error']}")
        return answer.get("result", {})

    def forget_events(self, method):
        """Drops the events of this method received so far, before an action whose
        own event is awaited next."""
        self._events = [e for e in self._events if e["method"] != method]

    def wait_event(self, method, what, session=None, matches=lambda params: True, timeout=None):
        """Returns the params of the first event of method (of session) that matches,
        consuming it; what says in the failure message what it would have meant."""
        def find():
            for i, event in enumerate(self._events):
                if (event["method"] == method and event.get("sessionId") == session
                        and matches(event.get("params", {}))):
                    return self._events.pop(i).get("params", {})
            return None
        return self._read_until(find, what, timeout)

    def _write(self, data):
        deadline = time.monotonic() + self._timeout
        while data:
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([], [self._write_fd], [], remaining)[1]:
                raise BrowserFailure("the browser does not read its commands")
            try:
                data = data[os.write(self._write_fd, data):]
            except BrokenPipeError:
                raise BrowserFailure("the browser closed its command pipe (crashed?)") from None

    def _read_until(self, found, what, timeout):
        deadline = time.monotonic() + (timeout or self._timeout)
        while True:
            result = found()
            if result is not None:
                return result
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([self._read_fd], [], [], remaining)[0]:
                raise BrowserFailure(f"no {what} from the browser within "
                                     f"{timeout or self._timeout} s")
            chunk = os.read(self._read_fd, 1 << 20)
            if not chunk:
                raise BrowserFailure(f"the browser closed its pipe while the test awaited {what}"
                                     " (crashed?)")
            self._take(chunk)

    def _take(self, chunk):
        self._buffer += chunk
        *messages, self._buffer = self._buffer.split(b"\0")
        for raw in messages:
            message = json.loads(raw)
            if "id" in message:
                self._answers[message["id"]] = message
            else:
                self._events.append(message)
