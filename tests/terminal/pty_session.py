"""Runs the orvane binary on a pseudo-terminal and types keys into it, as a person would."""
import os
import pty
import re
import select
import signal
import time

TIMEOUT = 15.0  # seconds; the machine may be busy, nothing here measures speed

KEYS = {
    "up": b"\x1b[A", "down": b"\x1b[B", "right": b"\x1b[C", "left": b"\x1b[D",
    "home": b"\x1b[H", "end": b"\x1b[F", "ctrl-left": b"\x1b[1;5D", "alt-b": b"\x1bb",
    "f1": b"\x1bOP", "f5": b"\x1b[15~", "shift-up": b"\x1b[1;2A", "alt-up": b"\x1b[1;3A",
    "page-up": b"\x1b[5~", "insert": b"\x1b[2~", "tab": b"\t",
    "ctrl-a": b"\x01", "ctrl-c": b"\x03", "ctrl-d": b"\x04", "ctrl-e": b"\x05",
    "ctrl-k": b"\x0b", "ctrl-r": b"\x12", "ctrl-v": b"\x16", "ctrl-w": b"\x17", "ctrl-y": b"\x19", "enter": b"\r",
}


class Session:
    """One run of the binary under a pty. `env` is added to a clean environment."""

    def __init__(self, binary, home, env=None, cwd=None):
        base = {"PATH": "/usr/bin:/bin", "TERM": "xterm", "HOME": home,
                "SDL_VIDEODRIVER": "dummy"}
        base.update(env or {})
        environment = {k: v for k, v in base.items() if v is not None}
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.chdir(cwd or home)
                os.execve(binary, [binary], environment)
            finally:
                os._exit(127)
        self.output = b""
        self.mark = 0  # expect() looks only at output after this point
        self.status = None

    def _read(self, wait):
        ready, _, _ = select.select([self.fd], [], [], wait)
        if not ready:
            return True
        try:
            data = os.read(self.fd, 4096)
        except OSError:
            return False
        if not data:
            return False
        self.output += data
        return True

    def expect(self, pattern, timeout=TIMEOUT):
        """Waits until `pattern` (bytes, a regular expression) appears after the mark; moves
        the mark past it and returns the match."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        while True:
            found = regex.search(self.output, self.mark)
            if found:
                self.mark = found.end()
                return found
            left = deadline - time.monotonic()
            if left <= 0 or not self._read(min(left, 0.2)):
                found = regex.search(self.output, self.mark)
                if found:
                    self.mark = found.end()
                    return found
                raise AssertionError(
                    "no %r after %r" % (pattern, self.output[self.mark:][-400:]))

    def prompt(self):
        """Waits for the primary prompt."""
        return self.expect(rb">>> ")

    def type(self, *parts):
        """Types text and named keys (KEYS), one part after the other."""
        for part in parts:
            data = KEYS[part] if part in KEYS else part.encode()
            os.write(self.fd, data)
            time.sleep(0.05)  # lets the editor take each key apart from the next

    def line(self, text):
        """Types a line and Enter."""
        self.type(text, "enter")

    def finish(self, timeout=TIMEOUT):
        """Waits for the process to end, reading everything it wrote; returns the status."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self._read(0.2):
                break
        for _ in range(int(timeout * 10)):
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
                return self.status
            time.sleep(0.1)
        self.kill()
        raise AssertionError("the process did not end: %r" % self.output[-400:])

    def kill(self):
        try:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        except (ProcessLookupError, ChildProcessError):
            pass
        try:
            os.close(self.fd)
        except OSError:
            pass
