"""A server process started by a test: its readiness line, its standard error, its end.

The process is ended through its own id (never by name), and readiness is read from the
line the server writes once it listens, so nothing sleeps to wait.
"""
import os
import queue
import re
import subprocess
import tempfile
import threading
import time

READY = re.compile(r"Modbus TCP server listening on (\S+) port (\d+)")


class ServerProcess:
    def __init__(self, command, timeout=30.0):
        self.lines = []
        self._queue = queue.Queue()
        self._home = tempfile.TemporaryDirectory()
        env = dict(os.environ)
        env.setdefault("QT_QPA_PLATFORM", "offscreen")
        env["CORVANE_REGISTRY"] = os.path.join(self._home.name, "registry.reg")
        env["HOME"] = self._home.name
        env["XDG_RUNTIME_DIR"] = self._home.name
        self.process = subprocess.Popen(
            command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.PIPE, env=env, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        self.timeout = timeout

    def _read(self):
        for line in self.process.stderr:
            self._queue.put(line.rstrip("\n"))
        self._queue.put(None)

    def wait_for_line(self, pattern, timeout=None):
        """The first line (from the start) matching `pattern`, or None when the stream ends."""
        pattern = re.compile(pattern)
        deadline = time.monotonic() + (timeout or self.timeout)
        for line in self.lines:
            match = pattern.search(line)
            if match:
                return match
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise TimeoutError(f"no line matching {pattern.pattern!r}: {self.lines}")
            try:
                line = self._queue.get(timeout=remaining)
            except queue.Empty:
                continue
            if line is None:
                self._queue.put(None)
                return None
            self.lines.append(line)
            match = pattern.search(line)
            if match:
                return match

    def wait_ready(self):
        match = self.wait_for_line(READY)
        if match is None:
            raise RuntimeError(f"server ended before listening: {self.lines}")
        return int(match.group(2))

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stderr.close()
        self._home.cleanup()
