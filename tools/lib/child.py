"""Ending a child process the way a service manager does."""

import signal
import subprocess


def stop_child(process, timeout):
    """SIGTERM, then SIGKILL if the process has not left within timeout seconds."""
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
