"""Dire Wolf instances that hear each other through software audio, with no radio.

Each instance plays its transmissions into an ALSA file PCM (over a null slave) that writes raw
samples into a FIFO, and reads its receiver audio from standard input. The relay (relay.py) plays
the transmissions out in real time to the instances linked to the sender. The rig runs only in a
namespace that has nothing but loopback (isolation.py): Dire Wolf listens on every interface.

    rig = Rig()
    a = rig.add_instance("a", "N0DWA")
    b = rig.add_instance("b", "N0DWB")
    rig.link(a, b)
    rig.start()          # returns once every AGW port accepts connections
    ...                  # a.agw_port, b.agw_port
    rig.stop()

Stopping the relay ends the instances too: they get end-of-file on standard input.
"""

import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from child import stop_child
from isolation import only_loopback

RELAY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "relay.py")

# 9600 bd G3RUH needs 48 kHz; a round trip of a full frame takes well under a second.
SAMPLE_RATE = 48000
# Seconds before a frame is sent again: the audio path adds little delay, so Dire Wolf's shortest
# measured-safe value. With RETRY 5 an unanswered connect gives up after about 14.5 s.
FRACK = 2
RETRY = 5
# Starting takes well under a second; this bounds a broken start.
START_TIMEOUT = 10.0
# Dire Wolf leaves on SIGTERM at once; past this it is killed.
STOP_TIMEOUT = 5.0
# Listening ports are drawn from here: registered ports, below the ephemeral range.
FIRST_LISTEN_PORT = 20000
LAST_LISTEN_PORT = 32000
# ALSA in Dire Wolf 1.6 truncates device names longer than this.
MAX_ALSA_NAME = 29


class RigError(RuntimeError):
    pass


def free_tcp_port():
    """A TCP port on loopback that nothing uses right now, below the ephemeral range: Dire Wolf
    refuses AGW ports above 49151, and outgoing connections take ephemeral ports."""
    while True:
        port = random.randrange(FIRST_LISTEN_PORT, LAST_LISTEN_PORT)
        with socket.socket() as probe:
            try:
                probe.bind(("127.0.0.1", port))
            except OSError:
                continue
            return port


def wait_for_tcp(port, timeout, alive=lambda: True):
    """Returns once something accepts TCP connections on the loopback port."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if not alive():
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


class Instance:
    """One Dire Wolf: its call, its AGW port (0 for a digipeater without one) and its files."""

    def __init__(self, rig, name, call, agw, digipeater):
        if len("rig_" + name) > MAX_ALSA_NAME:
            raise RigError(f"instance name too long for ALSA: {name}")
        self.rig = rig
        self.name = name
        self.call = call
        self.digipeater = digipeater
        self.agw_port = free_tcp_port() if agw else 0
        self.process = None
        self.log_path = rig.path(name + ".log")
        self.tx_fifo = rig.path(name + ".tx")
        self.rx_fifo = rig.path(name + ".rx")
        self.conf_path = rig.path(name + ".conf")

    def configuration(self):
        lines = [
            f"ADEVICE stdin rig_{self.name}",
            f"ARATE {SAMPLE_RATE}",
            "ACHANNELS 1",
            "CHANNEL 0",
            f"MYCALL {self.call}",
            "MODEM 9600",
            # Transmit at once, with short key-up and tail: the ether has no real carrier.
            "DWAIT 0",
            "SLOTTIME 1",
            "PERSIST 255",
            "TXDELAY 5",
            "TXTAIL 2",
            f"FRACK {FRACK}",
            f"RETRY {RETRY}",
            f"AGWPORT {self.agw_port}",
            "KISSPORT 0",  # otherwise Dire Wolf also opens 8001
        ]
        if self.digipeater:
            lines.append("CDIGIPEAT 0 0")
        return "\n".join(lines) + "\n"

    def running(self):
        return self.process is not None and self.process.poll() is None

    def start(self):
        # The relay holds the FIFO open for writing, so this open does not block.
        with open(self.rx_fifo, "rb") as audio_in, open(self.log_path, "ab") as log:
            self.process = subprocess.Popen(
                ["direwolf", "-c", self.conf_path, "-t", "0"],
                stdin=audio_in,
                stdout=log,
                stderr=subprocess.STDOUT,
                cwd=self.rig.directory,
                env=dict(os.environ, ALSA_CONFIG_PATH=self.rig.path("asound.conf")),
                start_new_session=True,  # a Ctrl-C at the terminal is the rig owner's to handle
            )

    def wait_ready(self):
        if self.agw_port and not wait_for_tcp(self.agw_port, START_TIMEOUT, self.running):
            raise RigError(f"Dire Wolf {self.name} did not open its AGW port\n{self.log_tail()}")

    def stop(self):
        """SIGTERM (SIGINT makes Dire Wolf 1.6 sleep a second first), then SIGKILL if need be."""
        if self.process is None:
            return
        stop_child(self.process, STOP_TIMEOUT)
        self.process = None

    def log_tail(self, lines=40):
        try:
            with open(self.log_path, "r", errors="replace") as log:
                return "".join(log.readlines()[-lines:])
        except OSError:
            return ""


class Rig:
    """half_duplex: a station does not hear the others while it transmits, as with a radio. Off
    by default: the rig has no timing jitter, so a station that answers in the gap between two
    of the other's transmissions collides with it the same way on every retry, and the link
    stalls (seen with an I-frame sent right after connecting, while the XID exchange ran)."""

    def __init__(self, half_duplex=False):
        if not only_loopback():
            raise RigError("the rig runs only in a private network namespace (isolation.py)")
        if shutil.which("direwolf") is None:
            raise RigError("direwolf not found: run tools/install-deps test")
        self.half_duplex = half_duplex
        self.directory = tempfile.mkdtemp(prefix="varnel-rig-")
        self.instances = []
        self.links = []
        self.relay = None

    def path(self, name):
        return os.path.join(self.directory, name)

    def add_instance(self, name, call, agw=True, digipeater=False):
        instance = Instance(self, name, call, agw, digipeater)
        self.instances.append(instance)
        return instance

    def link(self, a, b):
        """a and b hear each other."""
        self.links.append((a, b))

    def start(self):
        try:
            self._write_files()
            self._start_relay()
            for instance in self.instances:
                instance.start()
            for instance in self.instances:
                instance.wait_ready()
        except BaseException:
            self.stop()
            raise

    def _write_files(self):
        pcms = ["pcm.rig_null { type null }"]
        for instance in self.instances:
            os.mkfifo(instance.tx_fifo)
            os.mkfifo(instance.rx_fifo)
            with open(instance.conf_path, "w") as conf:
                conf.write(instance.configuration())
            pcms.append(
                f'pcm.rig_{instance.name} {{ type file slave.pcm "rig_null" '
                f'file "{instance.tx_fifo}" format "raw" }}'
            )
        with open(self.path("asound.conf"), "w") as asound:
            asound.write("\n".join(pcms) + "\n")

    def _start_relay(self):
        command = [sys.executable, RELAY, "--rate", str(SAMPLE_RATE)]
        if self.half_duplex:
            command.append("--half-duplex")
        command += [f"{i.name}:{i.tx_fifo}:{i.rx_fifo}" for i in self.instances]
        command += [f"{a.name}-{b.name}" for a, b in self.links]
        # The relay exits when this pipe closes, that is when the rig's owner has gone.
        self.relay = subprocess.Popen(
            command,
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            text=True,
            start_new_session=True,
        )
        if self.relay.stdout.readline().strip() != "ready":
            raise RigError("the audio relay did not start")

    def stop(self):
        """Stops every instance and the relay, and removes the rig's files."""
        for instance in self.instances:
            instance.stop()
        if self.relay is not None:
            self.relay.stdin.close()
            try:
                self.relay.wait(STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.relay.kill()
                self.relay.wait()
            self.relay.stdout.close()
            self.relay = None
        shutil.rmtree(self.directory, ignore_errors=True)

    def logs(self):
        """The tail of every instance's console, for a failure report."""
        return "".join(
            f"--- Dire Wolf {i.name} ({i.call}) ---\n{i.log_tail()}" for i in self.instances
        )
