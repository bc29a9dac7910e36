"""A client of a KAM TNC in host mode, over TCP or a serial device: what a radio mail client does
with Varnel.

The TNC starts in terminal mode, where every chunk the client sends is one command, answered with
plain text and the prompt "cmd:". "RESET" CR switches to host mode, answered FEND FEND "S00" FEND.
In host mode both sides send blocks: FEND, a header (type, port, stream: "D1A", "C1A", "S1A",
"C00", ...), the data with FEND and FESC escaped, FEND.
"""

import collections
import os
import select
import socket
import termios
import threading
import time
import tty

FEND = 0xC0
FESC = 0xDB
TFEND = 0xDC
TFESC = 0xDD
CR = b"\r"

# A KAM answers at once; a reply that takes longer than this is not coming.
REPLY_TIMEOUT = 3.0
# Data blocks the client sends carry at most this many bytes, about one AX.25 frame.
DATA_BLOCK_BYTES = 128
# A transcript shows this much of each item: enough to tell data blocks apart.
TRANSCRIPT_ITEM_CHARS = 160
# Header keys are one character ("q", "?") or three ("D1A", "C00").
HEADER_LENGTH = 3


def escape(data):
    out = bytearray()
    for byte in data:
        if byte == FEND:
            out += bytes((FESC, TFEND))
        elif byte == FESC:
            out += bytes((FESC, TFESC))
        else:
            out.append(byte)
    return bytes(out)


def unescape(data):
    """Undoes the escapes as a KAM does: FESC before anything but TFEND or TFESC is dropped."""
    out = bytearray()
    i = 0
    while i < len(data):
        byte = data[i]
        if byte == FESC:
            i += 1
            if i == len(data):
                break
            byte = {TFEND: FEND, TFESC: FESC}.get(data[i], data[i])
        out.append(byte)
        i += 1
    return bytes(out)


def frame_block(header, data=b""):
    return bytes((FEND,)) + header + escape(data) + bytes((FEND,))


def connect_request(call, via=()):
    """The data of the "C1A" connect command: "C CALL", or "C CALL V DIGI1 DIGI2"."""
    text = b"C " + call.encode("ascii")
    if via:
        text += b" V " + b" ".join(digi.encode("ascii") for digi in via)
    return text


class SerialDevice:
    """A serial device, or one side of a pseudo-terminal, with the calls of a socket that
    KamClient uses. Raw, 8N1, no flow control, at the KAM's speed."""

    def __init__(self, fd, baud=9600):
        self.fd = fd
        tty.setraw(fd)
        settings = termios.tcgetattr(fd)
        speed = getattr(termios, f"B{baud}")
        settings[2] &= ~(termios.CSTOPB | termios.PARENB | termios.CRTSCTS)
        settings[4] = settings[5] = speed
        termios.tcsetattr(fd, termios.TCSANOW, settings)
        # Closing a device does not end a read blocked on it: shutdown() wakes it this way.
        self.wake_read, self.wake_write = os.pipe()

    @classmethod
    def open(cls, text):
        """Opens "DEVICE" or "DEVICE:BAUD"."""
        path, colon, baud = text.rpartition(":")
        if not (colon and baud.isdigit()):
            path, baud = text, "9600"
        return cls(os.open(path, os.O_RDWR | os.O_NOCTTY), int(baud))

    def recv(self, size):
        readable, _, _ = select.select([self.fd, self.wake_read], [], [])
        if self.wake_read in readable:
            return b""
        try:
            return os.read(self.fd, size)
        except OSError:  # EIO: the other side has closed the pseudo-terminal
            return b""

    def sendall(self, data):
        while data:
            data = data[os.write(self.fd, data) :]

    def shutdown(self, how):
        os.write(self.wake_write, b"x")

    def close(self):
        for fd in (self.fd, self.wake_read, self.wake_write):
            os.close(fd)


class Block(collections.namedtuple("Block", "header data")):
    """A received block, its data already unescaped."""

    def text(self):
        return (self.header + self.data).decode("latin-1")

    def readable(self):
        """The block for a person: the header in brackets, then the data with CR as a line
        break and other control bytes as <0xNN>."""
        data = self.data[:-1] if self.data.endswith(CR) else self.data
        return f"[{self.header.decode('latin-1')}] {shown_bytes(data)}".rstrip()


def shown_bytes(data):
    shown = []
    for byte in data:
        if byte == 0x0D:
            shown.append("\n    ")
        elif 0x20 <= byte < 0x7F:
            shown.append(chr(byte))
        else:
            shown.append(f"<0x{byte:02x}>")
    return "".join(shown)


def shown_text(data):
    """Terminal-mode text on one line, CR and LF shown as <CR> and <LF>: where they stand
    matters in that dialogue."""
    return "".join({0x0D: "<CR>", 0x0A: "<LF>"}.get(byte) or shown_bytes((byte,)) for byte in data)


class StreamParser:
    """Cuts the TNC's byte stream into plain text (terminal mode) and blocks (host mode)."""

    def __init__(self):
        self.buffer = bytearray()

    def feed(self, data):
        """Returns the complete items at the front of the stream: bytes for text, Block for
        blocks. An unfinished block waits for the rest."""
        self.buffer += data
        items = []
        while self.buffer:
            start = self.buffer.find(FEND)
            if start < 0:
                items.append(bytes(self.buffer))
                self.buffer.clear()
                break
            if start > 0:
                items.append(bytes(self.buffer[:start]))
                del self.buffer[:start]
                continue
            end = self.buffer.find(FEND, 1)
            if end < 0:
                break
            if end == 1:
                del self.buffer[:1]  # FEND FEND: the second one opens the block
                continue
            content = bytes(self.buffer[1:end])
            del self.buffer[: end + 1]
            header_length = 1 if content[:1] in (b"q", b"?") else HEADER_LENGTH
            items.append(Block(content[:header_length], unescape(content[header_length:])))
        return items


class KamClient:
    """A TCP connection to a KAM (Varnel). Received items go to on_item (on the reader thread)
    and, while keep is true, are kept for the wait methods and the transcript of both directions
    (for failure reports). An interactive session sets keep to false once in host mode, so that
    nothing piles up."""

    def __init__(self, port=None, host="127.0.0.1", on_item=None, on_closed=None, device=None):
        """Connects to host:port, or talks on device (a SerialDevice) instead."""
        if device is not None:
            self.sock = device
        else:
            self.sock = socket.create_connection((host, port), timeout=REPLY_TIMEOUT)
            self.sock.settimeout(None)
            self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.on_item = on_item
        self.on_closed = on_closed
        self.keep = True
        self.text = bytearray()
        self.received_bytes = bytearray()  # as they came, for checks of the raw framing
        self.blocks = []
        self.transcript = []
        self.sent = StreamParser()
        self.closed = False
        self.condition = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        parser = StreamParser()
        try:
            while True:
                data = self.sock.recv(65536)
                if not data:
                    break
                with self.condition:
                    if self.keep:
                        self.received_bytes += data
                for item in parser.feed(data):
                    self._received(item)
        except OSError:
            pass
        with self.condition:
            self.closed = True
            self.condition.notify_all()
        if self.on_closed is not None:
            self.on_closed()

    def _received(self, item):
        with self.condition:
            if self.keep:
                self.transcript.append(("<", item))
                if isinstance(item, Block):
                    self.blocks.append(item)
                else:
                    self.text += item
                self.condition.notify_all()
        if self.on_item is not None:
            self.on_item(item)

    def _wait(self, take, timeout, what):
        deadline = time.monotonic() + timeout
        with self.condition:
            while True:
                found = take()
                if found is not None:
                    return found
                remaining = deadline - time.monotonic()
                if self.closed or remaining <= 0:
                    state = "connection closed" if self.closed else f"{timeout:g} s"
                    raise TimeoutError(f"no {what} from the TNC ({state})")
                self.condition.wait(remaining)

    def send_raw(self, data):
        with self.condition:
            if self.keep:
                self.transcript += [(">", item) for item in self.sent.feed(data)]
        self.sock.sendall(data)

    def send_block(self, header, data=b""):
        self.send_raw(frame_block(header, data))

    def wait_text(self, expected, timeout=REPLY_TIMEOUT):
        """Waits for expected (bytes, or a tuple of alternatives) in the plain text; takes the
        text up to the end of the first one found."""
        choices = expected if isinstance(expected, tuple) else (expected,)

        def take():
            found = [(at, len(text)) for text in choices if (at := self.text.find(text)) >= 0]
            if not found:
                return None
            at, length = min(found)
            taken = bytes(self.text[: at + length])
            del self.text[: at + length]
            return taken

        return self._wait(take, timeout, " or ".join(repr(text) for text in choices))

    def drop_text(self):
        """Forgets the plain text received so far."""
        with self.condition:
            self.text.clear()

    def wait_bytes(self, expected, timeout=REPLY_TIMEOUT):
        """Waits until the bytes received so far, framing included, contain expected."""
        return self._wait(
            lambda: True if expected in self.received_bytes else None, timeout, repr(expected)
        )

    def wait_block(self, match, timeout=REPLY_TIMEOUT, what="matching block"):
        """Takes the first received block for which match(block) is true."""

        def take():
            for i, block in enumerate(self.blocks):
                if match(block):
                    return self.blocks.pop(i)
            return None

        return self._wait(take, timeout, what)

    def wait_status(self, text, timeout=REPLY_TIMEOUT):
        """Waits for the block whose header and data read exactly text ("S1A*** DISCONNECTED")."""
        return self.wait_block(lambda b: b.text() == text, timeout, repr(text))

    def wait_data(self, count, timeout=REPLY_TIMEOUT, header=b"D1A"):
        """Takes data blocks with this header until they carry count bytes; returns those
        bytes."""
        data = bytearray()

        def take():
            for block in [b for b in self.blocks if b.header == header]:
                self.blocks.remove(block)
                data.extend(block.data)
            return bytes(data) if len(data) >= count else None

        return self._wait(take, timeout, f"{count} bytes of link data (got {len(data)})")

    def command(self, header, data=b"", timeout=REPLY_TIMEOUT):
        """Sends a command block and returns its "C00" answer."""
        self.send_block(header, data)
        return self.wait_block(lambda b: b.header == b"C00", timeout, f"answer to {header + data}")

    def start_host_mode(self):
        """The terminal-mode start-up of a KAM client, then RESET into host mode. A TNC left in
        host mode by an earlier client first gets the quit block."""
        self.send_raw(CR)
        try:
            self.wait_text(b"cmd:")
        except TimeoutError:
            self.send_raw(frame_block(b"q"))
            self.wait_text(b"cmd:")
            self.wait_text(b"EH?")
        self.send_raw(CR + b"INTFACE HOST" + CR)
        self.wait_text(b"INTFACE was TERMINAL" + CR)
        self.wait_text(b"cmd:")
        self.send_raw(b"RESET" + CR)
        self.wait_block(lambda b: b.header == b"S00", what="S00 after RESET")

    # stream: the port byte and the stream letter of the link, "1A" to "2Z".
    def connect(self, call, via=(), stream="1A"):
        return self.command(b"C" + stream.encode("ascii"), connect_request(call, via))

    def disconnect(self, stream="1A"):
        return self.command(b"C" + stream.encode("ascii"), b"D")

    def status(self):
        self.send_raw(frame_block(b"C20S"))
        return self.wait_block(lambda b: b.header == b"C00", what="status answer")

    def send_data(self, data, stream="1A"):
        header = b"D" + stream.encode("ascii")
        for start in range(0, len(data), DATA_BLOCK_BYTES):
            self.send_block(header, data[start : start + DATA_BLOCK_BYTES])

    def transcript_length(self):
        with self.condition:
            return len(self.transcript)

    def transcript_text(self, start=0):
        """Both directions, one item a line, from the start-th item on."""
        lines = []
        with self.condition:
            for direction, item in self.transcript[start:]:
                shown = item.readable() if isinstance(item, Block) else shown_text(item)
                if len(shown) > TRANSCRIPT_ITEM_CHARS:
                    size = len(item.data) if isinstance(item, Block) else len(item)
                    shown = shown[:TRANSCRIPT_ITEM_CHARS] + f" ... ({size} bytes)"
                lines.append(f"{direction} {shown}")
        return "\n".join(lines)

    def close(self):
        self.on_closed = None  # the TNC did not close it
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self.reader.join(REPLY_TIMEOUT)
