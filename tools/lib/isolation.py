"""Runs a program in a private network namespace that holds only loopback.

Dire Wolf binds its AGW port to every interface and has no option for loopback only, so the rig
never runs where other machines could reach it. The program also becomes the first process of a
private PID namespace: when it ends, however it ends (a killed test run included), the kernel ends
everything it started, so no Dire Wolf, relay or Varnel is left behind.
"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile

_MARK = "VARNEL_ISOLATED"
_PRIVATE_TMP = "/dev/shm"


class IsolationError(RuntimeError):
    pass


def processes_besides_self():
    """The other processes of this PID namespace, as "PID command line" (a zombie shows none)."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit() and int(entry) != os.getpid():
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                    command = cmdline.read().replace(b"\0", b" ").decode(errors="replace")
                found.append(f"{entry} {command}")
            except OSError:
                pass  # it has just ended
    return found


def only_loopback():
    """True when the current network namespace has no interface but loopback."""
    return [name for _, name in socket.if_nameindex()] == ["lo"]


def inside():
    """True in the program that run_isolated has re-run."""
    return os.environ.get(_MARK) == "1" and os.getpid() == 1


def run_isolated(private_tmp=False):
    """Re-runs the calling program isolated, or returns when it already is (loopback is up).
    With private_tmp, temporary files go to a fresh file system that goes with the namespace, so
    not even files are left behind by a killed run. It is mounted over /dev/shm, not /tmp: the
    checkout or the build may well live under /tmp.

    Raises IsolationError with the missing step when isolation is impossible.
    """
    if inside():
        if not only_loopback():
            raise IsolationError("the private network namespace has other interfaces than lo")
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        if private_tmp:
            subprocess.run(["mount", "-t", "tmpfs", "varnel-tmp", _PRIVATE_TMP], check=True)
            os.environ["TMPDIR"] = _PRIVATE_TMP
            tempfile.tempdir = None  # forget a temporary folder chosen before
        # As the first process of its PID namespace, the program gets no default signal
        # handling: SIGTERM must be handled explicitly to end it.
        signal.signal(signal.SIGTERM, _raise_keyboard_interrupt)
        return
    for tool, package in (("unshare", "util-linux"), ("ip", "iproute2")):
        if shutil.which(tool) is None:
            raise IsolationError(f"{tool} not found: run tools/install-deps test ({package})")
    # A /proc of its own lets the program see exactly the processes it started.
    command = ["unshare", "--net", "--pid", "--fork", "--kill-child", "--mount-proc"]
    if os.geteuid() != 0:
        command.append("--map-root-user")  # an unprivileged user namespace provides the rights
    probe = subprocess.run([*command, "true"], capture_output=True, text=True)
    if probe.returncode != 0:
        raise IsolationError(
            "cannot create a private network namespace (" + probe.stderr.strip() + "): "
            "run as root, or enable unprivileged user namespaces"
        )
    environment = dict(os.environ, **{_MARK: "1"})
    sys.stdout.flush()
    sys.stderr.flush()
    os.execvpe(command[0], command + [sys.executable, *sys.argv], environment)


def _raise_keyboard_interrupt(signum, frame):
    raise KeyboardInterrupt
