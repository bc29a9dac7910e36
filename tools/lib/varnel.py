"""Runs Varnel as a child process and follows its event log.

Headless, Varnel writes its event log to standard output, one line per event; a reader thread
keeps the lines so that a caller can wait for one. With a window the log is in the window and
standard output goes to log_path.
"""

import subprocess
import threading
import time

from child import stop_child

# Varnel takes its links down before it leaves; it gives up on the engine after 4 s itself.
STOP_TIMEOUT = 10.0


class Varnel:
    """options: further command-line options, before the fields (e.g. "--host-mode")."""

    def __init__(
        self,
        executable,
        call,
        engine_port,
        listen_port,
        headless=True,
        log_path=None,
        cwd=None,
        options=(),
    ):
        self.listen_port = listen_port
        self.lines = []
        self.output_ended = False
        self.condition = threading.Condition()
        # Radio port 1 (Dire Wolf's first channel), incoming links on any port.
        fields = f"{call},1,True,{engine_port},{listen_port}"
        command = [executable, "--engine-host", "127.0.0.1", *options, fields]
        if headless:
            command.insert(1, "--headless")
        log = open(log_path, "ab") if log_path else None
        try:
            self.process = subprocess.Popen(
                command,
                stdin=subprocess.DEVNULL,
                stdout=log or subprocess.PIPE,
                stderr=subprocess.STDOUT if log is None else log,
                cwd=cwd,
                start_new_session=True,  # a Ctrl-C at the terminal is the owner's to handle
            )
        finally:
            if log is not None:
                log.close()
        self.reader = None
        if log is None:
            self.reader = threading.Thread(target=self._read, daemon=True)
            self.reader.start()

    def _read(self):
        for raw in self.process.stdout:
            # Line ends are the platform's: CR LF from the Windows build under Wine.
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            with self.condition:
                self.lines.append(line)
                self.condition.notify_all()
        with self.condition:
            self.output_ended = True
            self.condition.notify_all()

    def wait_log(self, match, timeout, occurrence=1):
        """Waits until occurrence log lines match; returns the last of them."""
        deadline = time.monotonic() + timeout
        with self.condition:
            while True:
                found = [line for line in self.lines if match(line)]
                if len(found) >= occurrence:
                    return found[occurrence - 1]
                remaining = deadline - time.monotonic()
                if remaining <= 0 or self.output_ended:
                    state = "Varnel has exited" if self.output_ended else f"{timeout:g} s"
                    raise TimeoutError(f"no log line #{occurrence} as expected ({state})")
                self.condition.wait(remaining)

    def log_text(self):
        with self.condition:
            return "\n".join(self.lines)

    def stop(self):
        """SIGTERM, as a service manager would; then SIGKILL if it does not leave."""
        stop_child(self.process, STOP_TIMEOUT)
        if self.reader is not None:
            self.reader.join(STOP_TIMEOUT)
            self.process.stdout.close()
        return self.process.returncode
