"""A small AGW TCP/IP API client, and a station that echoes what it receives.

Frames are a 36-byte little-endian header and DataLen bytes of data. The client reads its socket
all the time on a thread of its own: Dire Wolf writes to its clients with a blocking send from its
link thread, so a client that stops reading stalls every link of the engine.

The station only ever sends 'D' and 'd' for links that came up through a 'C' event, with its own
call first: Dire Wolf 1.6 spins forever on a 'D' for a pair that never went through 'C'.
"""

import collections
import socket
import struct
import threading
import time

HEADER = struct.Struct("<B3xcxBx10s10sII")
# Dire Wolf 1.6 never sends more; anything larger means the stream is out of step.
MAX_DATA_LEN = 65536
# Dire Wolf closes the connection (and loses that client slot for good) past this.
MAX_SEND_LEN = 2122
# Dire Wolf's first reply to a new client can take a second: it polls new clients once a second.
REPLY_TIMEOUT = 5.0
PID_NO_LAYER3 = 0xF0
# Dire Wolf's PACLEN: each 'D' the station sends fills one AX.25 frame.
DATA_FRAME_BYTES = 256

Frame = collections.namedtuple("Frame", "port kind pid call_from call_to data")


def encode(kind, port, call_from, call_to="", data=b"", pid=0):
    """One frame; calls are text, NUL-padded to their 10-byte fields."""
    if len(data) > MAX_SEND_LEN:
        raise ValueError(f"AGW frame data longer than {MAX_SEND_LEN} bytes")
    calls = (call_from.encode("ascii"), call_to.encode("ascii"))
    return HEADER.pack(port, kind.encode("ascii"), pid, *calls, len(data), 0) + data


def decode_stream(buffer):
    """Cuts the complete frames off the front of buffer (a bytearray) and returns them."""
    frames = []
    while len(buffer) >= HEADER.size:
        port, kind, pid, call_from, call_to, length, _ = HEADER.unpack_from(buffer)
        if length > MAX_DATA_LEN:
            raise ConnectionError(f"AGW frame with DataLen {length}: stream out of step")
        if len(buffer) < HEADER.size + length:
            break
        data = bytes(buffer[HEADER.size : HEADER.size + length])
        del buffer[: HEADER.size + length]
        frames.append(
            Frame(
                port,
                kind.decode("latin-1"),
                pid,
                call_from.split(b"\0", 1)[0].decode("latin-1"),
                call_to.split(b"\0", 1)[0].decode("latin-1"),
                data,
            )
        )
    return frames


class AgwClient:
    """One TCP connection to an AGW engine; every received frame goes to on_frame, called on the
    reader thread."""

    def __init__(self, port, on_frame, host="127.0.0.1"):
        self.sock = socket.create_connection((host, port), timeout=REPLY_TIMEOUT)
        self.sock.settimeout(None)
        self.on_frame = on_frame
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        buffer = bytearray()
        try:
            while True:
                data = self.sock.recv(65536)
                if not data:
                    break
                buffer += data
                for frame in decode_stream(buffer):
                    self.on_frame(frame)
        except OSError:
            pass

    def send(self, kind, port, call_from, call_to="", data=b"", pid=0):
        self.sock.sendall(encode(kind, port, call_from, call_to, data, pid))

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self.reader.join(REPLY_TIMEOUT)


class Monitor:
    """An engine's own transmissions, as its monitoring shows them ('T' frames once 'm' is on),
    each with the time it was reported."""

    def __init__(self, agw_port, host="127.0.0.1"):
        self.transmissions = []  # (time.monotonic(), frame)
        self.condition = threading.Condition()
        self.client = AgwClient(agw_port, self._frame, host)
        self.client.send("m", 0, "")

    def _frame(self, frame):
        if frame.kind == "T":
            with self.condition:
                self.transmissions.append((time.monotonic(), frame))
                self.condition.notify_all()

    def frames_since(self, since, text):
        """The transmissions reported after since whose monitor text contains text."""
        with self.condition:
            return [f for t, f in self.transmissions if t > since and text in f.data]

    def wait_frame(self, text, timeout=REPLY_TIMEOUT):
        deadline = time.monotonic() + timeout
        with self.condition:
            while not any(text in f.data for _, f in self.transmissions):
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise TimeoutError(f"no transmission with {text!r}")
                self.condition.wait(remaining)

    def close(self):
        self.client.close()


class Station:
    """A call registered on one radio port of an engine. It accepts incoming links, can connect
    out, echoes all data it receives when echo is on, and records every link event."""

    def __init__(self, agw_port, call, radio_port=0, echo=True, host="127.0.0.1"):
        self.call = call
        self.radio_port = radio_port
        self.echo = echo
        self.links = set()  # remote calls of the links that are up
        self.received = collections.defaultdict(bytearray)
        self.last_received_at = {}  # remote call: time.monotonic() of its latest data
        self.events = []
        self.condition = threading.Condition()
        self.client = AgwClient(agw_port, self._frame, host)
        self.client.send("X", radio_port, call)
        reply = self._wait_event(lambda e: e.kind == "X")
        if reply.data[:1] != b"\x01":
            raise ConnectionError(f"the engine refused to register {call}")

    def _frame(self, frame):
        if frame.kind == "D" and frame.call_from in self.links:
            if self.echo:
                self._send_data(frame.call_from, frame.data)
        elif frame.kind == "C":
            self.links.add(frame.call_from)
        elif frame.kind == "d":
            self.links.discard(frame.call_from)
        with self.condition:
            if frame.kind == "D":
                self.received[frame.call_from] += frame.data
                self.last_received_at[frame.call_from] = time.monotonic()
            self.events.append(frame)
            self.condition.notify_all()

    def _send_data(self, remote, data):
        for start in range(0, len(data), DATA_FRAME_BYTES):
            piece = data[start : start + DATA_FRAME_BYTES]
            self.client.send("D", self.radio_port, self.call, remote, piece, PID_NO_LAYER3)

    def _wait_event(self, match, timeout=REPLY_TIMEOUT):
        deadline = time.monotonic() + timeout
        with self.condition:
            while True:
                for i, event in enumerate(self.events):
                    if match(event):
                        return self.events.pop(i)
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise TimeoutError(f"{self.call}: no matching AGW event")
                self.condition.wait(remaining)

    def wait_connected(self, remote, timeout=REPLY_TIMEOUT):
        return self._wait_event(lambda e: e.kind == "C" and e.call_from == remote, timeout)

    def wait_disconnected(self, remote, timeout=REPLY_TIMEOUT):
        return self._wait_event(lambda e: e.kind == "d" and e.call_from == remote, timeout)

    def wait_received(self, remote, count, timeout=REPLY_TIMEOUT):
        """Returns the data received from remote once there are at least count bytes."""
        deadline = time.monotonic() + timeout
        with self.condition:
            while len(self.received[remote]) < count:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise TimeoutError(
                        f"{self.call}: {len(self.received[remote])} of {count} bytes from {remote}"
                    )
                self.condition.wait(remaining)
            return bytes(self.received[remote])

    def connect(self, remote):
        self.client.send("C", self.radio_port, self.call, remote)

    def send(self, remote, data):
        if remote not in self.links:
            raise ConnectionError(f"{self.call}: no link to {remote}")
        self._send_data(remote, data)

    def disconnect(self, remote):
        if remote not in self.links:
            raise ConnectionError(f"{self.call}: no link to {remote}")
        self.client.send("d", self.radio_port, self.call, remote)

    def close(self):
        self.client.close()
