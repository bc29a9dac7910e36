"""Three client programs written for a Kantronics KAM, replayed against a TNC: LinBPQ, Paclink, FBB.

Each replay sends the bytes that client sends (its start-up, status polls, settings, a connect,
data both ways, a disconnect and its close) and checks every answer the way that client checks
it, within the time it allows. These are replays of the clients' documented byte sequences, not
the programs themselves: their timers are compressed (no idle seconds between phases; a status
poll at the client's own interval only while it waits for the link or for room).

    replay = REPLAYS["linbpq"](KamClient(8100), Settings(mycall="N0BPQ", call="N0ECH"))
    passed = replay.run()      # writes each step's bytes and PASS or FAIL

The station called must echo what it receives (as tools/demo's N0ECH does) unless echo is off;
then any data from it counts. With a second call, LinBPQ and FBB carry a second session at once,
as a node with two users or a BBS with two channels does: a second link on the stream that
client would take next, data on both links together, and the second link ends first.
"""

import collections
import copy
import dataclasses
import re
import time

from kam import CR, DATA_BLOCK_BYTES, REPLY_TIMEOUT, frame_block

PROMPT = b"cmd:"
CALLSIGN_PROMPT = b"CALLSIGN=>"

Status = collections.namedtuple("Status", "free lines")

# A stream line: stream letter, "/", port, a blank; from the fifth character on, the count of
# unacknowledged bytes and frames while there are any, then the state, as LinBPQ and FBB read it.
STREAM_LINE = re.compile(
    r"[A-Z]/[A-Z0-9] (#\d+\(\d+\) )?"
    r"(DISCONNECTED|CONNECT in progress|FRMR in progress|DISC in progress|CONNECTED to \S"
    r"|Waiting a|Device bu|Remote de|Both devi|Waiting ACK)"
)


class StepFailed(Exception):
    pass


@dataclasses.dataclass
class Settings:
    mycall: str  # the client's own callsign
    call: str  # the station it connects to
    tnc_port: int = 1  # host-mode port byte: 1 (VHF) or 2 (HF); LinBPQ's VHF packet is on 1
    stream: str = ""  # stream letter of the link; empty: the one the client picks itself
    data: bytes = bytes(range(256))  # sent on the link; every byte value tests the escapes
    echo: bool = True  # the station sends the data back; otherwise any data from it counts
    link_timeout: float = 60.0  # for a link to come up or go down, and for the data
    unanswered: str = ""  # FBB: a call nobody answers, to see the retry-out recognised
    second_call: str = ""  # LinBPQ, FBB: a second station, linked while the first link is up


def link_status(block):
    """A link-state block: S, port, stream; S00 (the soft reset) is not one."""
    return block.header[:1] == b"S" and block.header != b"S00"


class Replay:
    """One client program's session, as named steps; the first failing step ends it."""

    name = ""
    default_stream = "A"
    poll_interval = 1.0  # seconds between the client's status polls while it waits
    reply_timeout = REPLY_TIMEOUT  # how long the client waits for an answer to a command
    # Where the client puts a second link: this many letters on from the first one's stream;
    # 0 for a client that carries one link only.
    second_stream_step = 0

    def __init__(self, client, settings, write=print):
        self.client = client
        self.settings = settings
        self.write = write
        self.port = str(settings.tnc_port).encode("ascii")
        self.stream = (settings.stream or self.default_stream).upper().encode("ascii")
        self.call = settings.call.upper()
        self.failure = None  # (step title, what went wrong) once a step failed
        # The same replay as it drives the second link, if any: its own stream and station.
        self.second = None
        if settings.second_call:
            letter = ord(self.stream) + self.second_stream_step
            if self.second_stream_step == 0 or not ord("A") <= letter <= ord("Z"):
                stream = self.stream.decode()
                raise ValueError(f"{self.name} carries no second link beside stream {stream}")
            self.second = copy.copy(self)
            self.second.stream = bytes((letter,))
            self.second.call = settings.second_call.upper()

    def steps(self):
        """(title, action) pairs, in the client's order."""
        raise NotImplementedError

    def poll(self):
        """The client's status poll; returns a Status."""
        raise NotImplementedError

    def run(self):
        """Plays the steps in order; returns whether every one passed."""
        self.write(
            f"== {self.name}: own call {self.settings.mycall.upper()}, station {self.call}, "
            f"port {self.port.decode()}, stream {self.stream.decode()}"
        )
        for title, action in self.steps():
            start = self.client.transcript_length()
            self.write(f"-- {title}")
            try:
                action()
            except (StepFailed, TimeoutError, OSError) as error:
                self.failure = (title, str(error))
            shown = self.client.transcript_text(start)
            if shown:
                self.write("   " + shown.replace("\n", "\n   "))
            if self.failure:
                self.write(f"FAIL  {title}: {self.failure[1]}")
                return False
            self.write(f"PASS  {title}")
        self.write(f"== {self.name}: every step passed")
        return True

    # --- building blocks ---------------------------------------------------------------------

    @staticmethod
    def expect(condition, problem):
        if not condition:
            raise StepFailed(problem)

    def header(self, kind):
        """kind ("C", "D" or "S"), the port byte and the link's stream byte."""
        return kind.encode("ascii") + self.port + self.stream

    def port_header(self):
        """A command for the port itself: stream 0."""
        return b"C" + self.port + b"0"

    def send_frame(self, frame):
        self.client.send_raw(frame)

    def send_block(self, header, data=b""):
        self.send_frame(frame_block(header, data))

    def command(self, header, text, timeout=None):
        """Sends a command block; returns the C block that answers it."""
        self.send_block(header, text.encode("ascii"))
        return self.client.wait_block(
            lambda b: b.header[:1] == b"C",
            self.reply_timeout if timeout is None else timeout,
            f"C block answering {(header + text.encode('ascii')).decode('latin-1')!r}",
        )

    def line(self, text, timeout):
        """A terminal-mode command line; a prompt must follow it (one left over from an
        earlier line does not count)."""
        self.client.drop_text()
        self.client.send_raw(text.encode("ascii") + CR)
        self.client.wait_text(PROMPT, timeout)

    def status_lines(self, answer):
        """The lines of a STATUS answer, each checked to end with CR and to read as a KAM's."""
        text = answer.data.decode("latin-1")
        self.expect(text.endswith("\r"), f"status answer whose last line has no CR: {text!r}")
        lines = text[:-1].split("\r")
        self.expect(lines[0].startswith("FREE BYTES "), f"status answer {text!r}")
        for line in lines[1:]:
            self.expect(STREAM_LINE.match(line), f"stream line {line!r} in {text!r}")
        return lines

    def stream_line(self, lines):
        """The status line of the link's stream."""
        prefix = self.stream.decode("ascii") + "/"
        found = [line for line in lines[1:] if line.startswith(prefix)]
        self.expect(found, f"no line for stream {prefix[0]} in the status: {lines!r}")
        return found[0]

    def wait_polling(self, match, deadline, what):
        """Takes the first block that match accepts, polling the status meanwhile; deadline
        ends a wait of the link timeout."""
        while True:
            remaining = deadline - time.monotonic()
            try:
                return self.client.wait_block(match, min(self.poll_interval, remaining), what)
            except TimeoutError:
                if self.client.closed:
                    raise
                if time.monotonic() >= deadline:
                    timeout = self.settings.link_timeout
                    raise TimeoutError(f"no {what} from the TNC within {timeout:g} s") from None
            self.poll()

    def wait_link_status(self, expected):
        """The next link-state block must be expected (its text after the header) on the
        link's port and stream."""
        deadline = time.monotonic() + self.settings.link_timeout
        block = self.wait_polling(link_status, deadline, f"link status {expected!r}")
        self.expect(
            block.header == self.header("S") and block.data.startswith(expected.encode("ascii")),
            f"expected {self.header('S').decode()}{expected}, got {block.text()!r}",
        )
        return block

    def wait_room(self, enough):
        """Polls until the FREE BYTES figure, as the client reads it, lets it send."""
        deadline = time.monotonic() + self.settings.link_timeout
        while not enough((status := self.poll()).free):
            self.expect(time.monotonic() < deadline, f"FREE BYTES stays at {status.free}")
            time.sleep(self.poll_interval)

    def wait_station_data(self):
        """What the station sends back: the data itself when it echoes, else anything."""
        data = self.settings.data
        wanted = len(data) if self.settings.echo else 1
        deadline = time.monotonic() + self.settings.link_timeout
        received = bytearray()
        header = self.header("D")
        what = f"{wanted} bytes in {header.decode()} blocks"
        while len(received) < wanted:
            block = self.wait_polling(lambda b: b.header == header, deadline, what)
            received += block.data
        if self.settings.echo:
            self.expect(received == data, f"the station sent back other bytes: {bytes(received)!r}")

    def connect_link(self):
        """The connect command on the link's stream, the link coming up, and the stream's
        status line showing it."""
        self.command(self.header("C"), "C " + self.call)
        block = self.wait_link_status("*** CONNECTED to ")
        connected_to = block.data.decode("latin-1").split()[3:4]
        self.expect(connected_to == [self.call], f"connected to {connected_to}, not {self.call}")
        line = self.stream_line(self.poll().lines)
        self.expect(f"CONNECTED to {self.call}" in line, f"status line {line!r} while linked")

    def disconnect(self):
        self.command(self.header("C"), "D")
        self.wait_link_status("*** DISCONNECTED")

    def links(self):
        """The replay for each link it carries: itself, then the second link's."""
        return [self] if self.second is None else [self, self.second]

    def second_link_steps(self, end_link):
        """The steps that bring the second link up and take it down, if there is one; the
        first link must be up through both. end_link(replay) is the client's disconnect."""
        if self.second is None:
            return [], []
        second = self.second
        c, s = (second.header(kind).decode() for kind in "CS")
        first = self.stream.decode()

        def end():
            end_link(second)
            line = self.stream_line(self.poll().lines)
            self.expect(f"CONNECTED to {self.call}" in line, f"status line {line!r} of {first}")

        up = (f"second link while {first} is up: connect {c}C {second.call}: "
              f"{s}*** CONNECTED to {second.call}", second.connect_link)  # fmt: skip
        down = (f"second link ends first: {c}D: {s}*** DISCONNECTED, {first} stays up", end)
        return [up], [down]


class LinBpq(Replay):
    """LinBPQ's KAMPACTOR driver: VHF packet on port 1, its plain connect on the highest free
    stream (J with MAXUSERS 1/10). It gives the KAM 5 s for every answer; after an unanswered
    host command it declares the TNC lost."""

    name = "LinBPQ"
    default_stream = "J"
    poll_interval = 10.0
    reply_timeout = 5.0
    # Its own settings, sent one by one in terminal mode, then its MYCALL line.
    SETTINGS = (
        "MARK 1400", "SPACE 1600", "SHIFT MODEM", "INV ON", "PTERRS 30", "MAXUSERS 1/10",
        "ECHO OFF", "XMITECHO ON", "TXFLOW OFF", "XFLOW OFF", "TRFLOW OFF", "AUTOCR 0",
        "AUTOLF OFF", "CRADD OFF", "CRSUP OFF", "CRSUP OFF/OFF", "LFADD OFF/OFF", "LFADD OFF",
        "LFSUP OFF/OFF", "LFSUP OFF", "RING OFF", "ARQBBS OFF",
    )  # fmt: skip
    # It holds VHF commands and data back until the TNC has this much room.
    MIN_FREE_BYTES = 500
    PACLEN = 100
    # Frames it sends per status poll, at most.
    FRAMES_PER_POLL = 4
    # A TNC answers the quit block at once, if at all.
    QUIT_REPLY_WAIT = 1.0

    second_stream_step = -1  # its plain connect takes the highest free stream

    def steps(self):
        c, s = (self.header(kind).decode() for kind in "CS")
        d = " and ".join(link.header("D").decode() for link in self.links())
        second_up, second_down = self.second_link_steps(lambda link: link.disconnect_link())
        return [
            ("probe: CR gets cmd: within 5 s", self.probe),
            (f"{len(self.SETTINGS) + 1} setting lines, each gets cmd: within 5 s",
             self.settings_lines),
            ("INTFACE HOST (no leading CR) gets cmd: within 5 s",
             lambda: self.line("INTFACE HOST", 5)),
            ("RESET brings a host-mode block within 5 s", self.reset),
            (f"status poll C10S: lines end with CR, FREE BYTES >= {self.MIN_FREE_BYTES}",
             self.first_poll),
            ("keep-alive ? is answered within 5 s", self.keep_alive),
            ("HF set-up on port 2 stream 0: each command answered within 5 s", self.hf_setup),
            (f"connect {c}C {self.call}: {s}*** CONNECTED to {self.call}", self.connect_link),
            *second_up,
            (f"data both ways in {d} blocks of {self.PACLEN} bytes, paced by C10S",
             self.exchange),
            *second_down,
            (f"disconnect {c}D: {s}*** DISCONNECTED", self.disconnect_link),
            ("close: FEND Q FEND leaves host mode, the next CR gets cmd:", self.close),
        ]  # fmt: skip

    def probe(self):
        """A TNC left in host mode gets the quit block and a second CR."""
        self.client.send_raw(CR)
        try:
            self.client.wait_text(PROMPT, 5)
        except TimeoutError:
            self.send_block(b"Q")
            self.line("", 5)

    def settings_lines(self):
        mycall = self.settings.mycall.upper()
        for text in self.SETTINGS + (f"MYCALL {mycall}/{mycall}",):
            self.line(text, 5)

    def reset(self):
        self.client.send_raw(b"RESET" + CR)
        self.client.wait_block(lambda b: True, 5, "block after RESET")

    def poll(self):
        lines = self.status_lines(self.command(b"C10", "S"))
        return Status(int(lines[0].split()[2].split("/")[0]), lines)

    def first_poll(self):
        free = self.poll().free
        self.expect(free >= self.MIN_FREE_BYTES, f"FREE BYTES {free}: LinBPQ would send nothing")

    def keep_alive(self):
        self.send_block(b"?")
        self.client.wait_block(lambda b: b.header[:1] in (b"C", b"?"), 5, "answer to ?")

    def hf_setup(self):
        mycall = self.settings.mycall.upper()
        for text in (f"MYPTCALL {mycall}", f"MYGTCALL {mycall}", "TOR"):
            self.command(b"C20", text)

    def exchange(self):
        """Each link gets its frames after the same polls, as the node serves its users."""
        data = self.settings.data
        frames = [data[at : at + self.PACLEN] for at in range(0, len(data), self.PACLEN)]
        for first in range(0, len(frames), self.FRAMES_PER_POLL):
            self.wait_room(lambda free: free >= self.MIN_FREE_BYTES)
            for link in self.links():
                for frame in frames[first : first + self.FRAMES_PER_POLL]:
                    self.send_block(link.header("D"), frame)
        for link in self.links():
            link.wait_station_data()

    def disconnect_link(self):
        self.disconnect()
        lines = self.poll().lines
        prefix = self.stream.decode("ascii") + "/"
        linked = [line for line in lines[1:] if line.startswith(prefix) and "CONNECTED to" in line]
        self.expect(not linked, f"status line {linked} after the disconnect")

    def close(self):
        """The quit block as its port closes; at its next start a CR must get the prompt.
        What the TNC says on leaving host mode (a sign-on, a prompt) is let go first, so that
        the prompt counted is the one for the CR."""
        self.send_block(b"Q")
        try:
            self.client.wait_text(PROMPT, self.QUIT_REPLY_WAIT)
        except TimeoutError:
            pass
        self.line("", 5)


class Paclink(Replay):
    """Paclink's Kantronics host port: everything on stream A of its TNC port (1 by default);
    it waits 2 s for most answers and sends nothing while the status poll shows too little
    room. TNC port 1 follows its KAM XL set-up, port 2 its KAM'98 one."""

    name = "Paclink"
    poll_interval = 1.5
    reply_timeout = 2.0
    # Lines of a configuration (.aps) file, sent 100 ms apart without waiting for answers.
    CONFIGURATION = (
        "ECHO OFF", "AUTOLF OFF", "FLOW OFF", "XFLOW OFF", "TXFLOW OFF", "TRFLOW OFF",
        "CANLINE $18", "CANPAC $19", "COMMAND $03", "DELETE $08", "HEADERLN OFF",
        "MAXFRAME 2/2", "PACLEN 128/128", "FRACK 4/4", "RETRY 10/10", "MONITOR OFF/OFF",
        "USERS 1/1",
    )  # fmt: skip
    CONFIGURATION_PACING = 0.1
    # Sent after the file, each with the word its answer must contain and the seconds it waits.
    SET_UP = {
        1: (("MAXUSERS 1", "MAX", 6.0), ("PORT 1", "PORT", 2.0), ("HB", "HB", 2.0)),
        2: (
            ("MAXUSERS 1", "MAX", 6.0), ("SPACE 4000", "SPACE", 2.0), ("MARK 1200", "MARK", 2.0),
            ("SPACE 2100", "SPACE", 2.0), ("HB", "HB", 2.0),
        ),
    }  # fmt: skip
    # Its recovery when CR gets no prompt: a KAM waiting for the autobaud asterisk, one in
    # converse mode, one in host mode.
    RECOVERY = (b"*", b"\x03" + CR, frame_block(b"q") + CR)
    # It sends data only while the last number of the first status line is above this.
    MIN_FREE_BYTES = 301
    # It waits this long for its data to be acknowledged before it closes.
    DELIVERY_TIMEOUT = 60.0

    def steps(self):
        c, d, s = (self.header(kind).decode() for kind in "CDS")
        poll = f"C{self.port.decode()}0S"
        set_up = ", ".join(text for text, _, _ in self.SET_UP[self.settings.tnc_port])
        mycall = self.settings.mycall.upper()
        return [
            ("probe: CR gets cmd: within 2 s", self.probe),
            ("INTFACE HOST (no leading CR) gets cmd: within 2 s",
             lambda: self.line("INTFACE HOST", 2)),
            ("RESET brings two FENDs in a row within 5 s", self.reset),
            (f"status poll {poll}: two lines ended by CR, FREE BYTES > 300", self.first_poll),
            (f"{len(self.CONFIGURATION)} configuration lines in {c} blocks, each answered",
             self.configuration),
            (f"set-up commands answered with their names: {set_up}", self.set_up),
            (f"{c}MYCALL {mycall}: answer with MYCALL, or empty, within 2 s", self.mycall),
            (f"connect {c}C {self.call}: {s}*** CONNECTED", self.connect_link),
            (f"data both ways in {d} blocks, # in line 2 until acknowledged", self.exchange),
            (f"disconnect {c}D: answer with D, or empty; {s}*** DISCONNECTED",
             self.disconnect_link),
            ("close: FEND q FEND", lambda: self.send_block(b"q")),
        ]  # fmt: skip

    def probe(self):
        """A KAM that asks for a callsign after the autobaud asterisk gets it."""
        answers = (PROMPT, CALLSIGN_PROMPT)
        self.client.send_raw(CR)
        for attempt in self.RECOVERY + (None,):
            try:
                answer = self.client.wait_text(answers, 2)
                break
            except TimeoutError:
                if attempt is None:
                    raise
                self.client.send_raw(attempt)
        if answer.endswith(CALLSIGN_PROMPT):
            self.line(self.settings.mycall.upper(), 2)

    def reset(self):
        self.client.send_raw(b"RESET" + CR)
        self.client.wait_bytes(bytes((0xC0, 0xC0)), 5)

    def poll(self):
        lines = self.status_lines(self.command(self.port_header(), "S"))
        self.expect(len(lines) >= 2, f"status without a link line: {lines!r}")
        return Status(int(re.findall(r"\d+", lines[0])[-1]), lines)

    def first_poll(self):
        free = self.poll().free
        self.expect(free >= self.MIN_FREE_BYTES, f"FREE BYTES {free}: Paclink would send nothing")

    def configuration(self):
        for text in self.CONFIGURATION:
            self.send_block(self.header("C"), text.encode("ascii"))
            time.sleep(self.CONFIGURATION_PACING)
        for text in self.CONFIGURATION:
            self.client.wait_block(lambda b: b.header[:1] == b"C", 2, f"answer to {text!r}")

    def named_answer(self, text, name, timeout):
        """Paclink's check: the answer contains the command's name, or is empty."""
        answer = self.command(self.header("C"), text, timeout).data.decode("latin-1")
        self.expect(answer == "" or name in answer, f"answer {answer!r} to {text!r} lacks {name}")

    def set_up(self):
        for text, name, timeout in self.SET_UP[self.settings.tnc_port]:
            self.named_answer(text, name, timeout)

    def mycall(self):
        self.named_answer(f"MYCALL {self.settings.mycall.upper()}", "MYCALL", 2)

    def connect_link(self):
        self.command(self.header("C"), "C " + self.call)
        self.wait_link_status("*** CONNECTED")

    def exchange(self):
        data = self.settings.data
        for at in range(0, len(data), DATA_BLOCK_BYTES):
            self.wait_room(lambda free: free >= self.MIN_FREE_BYTES)
            self.send_block(self.header("D"), data[at : at + DATA_BLOCK_BYTES])
        line = self.poll().lines[1]
        self.expect("#" in line, f"line 2 {line!r} shows nothing unacknowledged right after data")
        self.wait_station_data()
        deadline = time.monotonic() + self.DELIVERY_TIMEOUT
        while "#" in (line := self.poll().lines[1]):
            self.expect(time.monotonic() < deadline, f"still unacknowledged: {line!r}")
            time.sleep(self.poll_interval)

    def disconnect_link(self):
        self.named_answer("D", "D", 2)
        self.wait_link_status("*** DISCONNECTED")


class Fbb(Replay):
    """FBB's KAM driver: host mode from its first byte (the KAM was left in host mode), port
    commands on stream 0, channel n on stream A+n-1, every block written one byte at a time."""

    name = "FBB"
    poll_interval = 1.0
    # Channels it serves: the KAM's USERS for its port.
    CHANNELS = 2
    MAXFRAME = 4
    second_stream_step = 1  # its next channel

    def steps(self):
        c, s = (self.header(kind).decode() for kind in "CS")
        d = " and ".join(link.header("D").decode() for link in self.links())
        second_up, second_down = self.second_link_steps(lambda link: link.disconnect())
        port = f"C{self.port.decode()}0"
        steps = [
            (f"set-up on {port} (the TNC must be in host mode: varnel --host-mode), "
             "each answered", self.set_up),
            (f"status poll {port}STATUS: FREE BYTES and short status lines; {c}TRIES: TRIES n",
             self.poll),
        ]  # fmt: skip
        if self.settings.unanswered:
            steps.append(
                (f"connect {c}C {self.settings.unanswered.upper()}, who does not answer: "
                 "*** retry count exceeded ('r' at offset 4), then *** DISCONNECTED",
                 self.retry_out)
            )  # fmt: skip
        return steps + [
            (f"connect {c}C {self.call}: {s}*** CONNECTED to {self.call}", self.connect_link),
            *second_up,
            (f"data both ways in {d} blocks, written one byte at a time", self.exchange),
            *second_down,
            (f"disconnect {c}D: {s}*** DISCONNECTED", self.disconnect),
        ]  # fmt: skip

    def send_frame(self, frame):
        for byte in frame:
            self.client.send_raw(bytes((byte,)))

    def call_with_ssid(self):
        """FBB always names the SSID, -0 included."""
        mycall = self.settings.mycall.upper()
        return mycall if "-" in mycall else mycall + "-0"

    def port_value(self, value):
        """A dual-port value for its own port: "/n" on the VHF port 1, "n/" on the HF port 2."""
        return f"/{value}" if self.settings.tnc_port == 1 else f"{value}/"

    def set_up(self):
        for text in (
            "HEADERLN OFF", "HEADERLN OFF", "STATSHRT ON", "PACLEN 0",
            f"MY {self.call_with_ssid()}",
            f"MAXFRAME {self.port_value(self.MAXFRAME)}", f"USERS {self.port_value(self.CHANNELS)}",
        ):  # fmt: skip
            self.command(self.port_header(), text)

    def poll(self):
        lines = self.status_lines(self.command(self.port_header(), "STATUS"))
        free = lines[0].split()[2].split("/")[0]
        self.expect(free.isdigit(), f"FREE BYTES {free!r}")
        tries = self.command(self.header("C"), "TRIES").data.decode("latin-1")
        self.expect(re.match(r"TRIES \d+", tries), f"answer {tries!r} to TRIES")
        return Status(int(free), lines)

    def retry_out(self):
        self.command(self.header("C"), "C " + self.settings.unanswered.upper())
        deadline = time.monotonic() + self.settings.link_timeout
        block = self.wait_polling(link_status, deadline, "the end of the connect attempt")
        self.expect(
            block.header == self.header("S") and block.data[4:5] == b"r",
            f"FBB would not see the retry-out in {block.text()!r}",
        )
        self.wait_link_status("*** DISCONNECTED")

    def exchange(self):
        data = self.settings.data
        for at in range(0, len(data), DATA_BLOCK_BYTES):
            for link in self.links():
                link.send_block(link.header("D"), data[at : at + DATA_BLOCK_BYTES])
        for link in self.links():
            link.wait_station_data()


REPLAYS = {"linbpq": LinBpq, "paclink": Paclink, "fbb": Fbb}
