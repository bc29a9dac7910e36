#!/usr/bin/env python3
"""The "ether" between Dire Wolf instances that run without a sound card.

Each instance writes its transmissions as raw S16_LE mono samples into its .tx FIFO (through an
ALSA file PCM over a null slave, which does not pace: a whole transmission arrives at key-up) and
reads its receiver audio from standard input, fed by its .rx FIFO. This relay plays every
transmission out in real time to the instances that hear the sender, and fills silence in between:
a receiver that got a burst and then no more audio would keep its carrier detect on, never answer,
and keep its retry timer paused.

    relay.py [--rate HZ] [--half-duplex] NAME:TX:RX... LINK...

LINK is "A-B": A and B hear each other. The relay opens every FIFO read-write, so no open ever
blocks and the readers of .rx see end-of-file only when the relay exits. It prints "ready" once
every FIFO is open, and exits on SIGTERM, SIGINT or end-of-file on its standard input (its
parent has gone), so a killed test leaves no Dire Wolf behind.
"""

import argparse
import array
import os
import select
import signal
import sys
import time

# Audio is handed on in slices this long: short enough for 9600 bd timing, long enough to keep
# the relay's CPU use small.
CHUNK_SECONDS = 0.010
# A transmission starts playing once this much of it is buffered, so the burst that the sender
# writes at key-up is never played with a gap in it.
PREBUFFER_SECONDS = 0.020
# Dire Wolf's output level is too hot for its own demodulator; this brings it into range.
GAIN = 0.25
# Past this lag (a stalled machine) the relay restarts its clock rather than bursting to catch up.
MAX_LAG_SECONDS = 0.200
# At most this much of one sender's audio waits in the relay; a stuck relay cannot grow forever.
MAX_PENDING_SECONDS = 30.0
BYTES_PER_SAMPLE = 2


class Station:
    """One instance as the relay sees it: its transmitter FIFO and its receiver FIFO."""

    def __init__(self, name, tx_path, rx_path):
        self.name = name
        self.tx = os.open(tx_path, os.O_RDWR | os.O_NONBLOCK)
        self.rx = os.open(rx_path, os.O_RDWR | os.O_NONBLOCK)
        self.pending = bytearray()  # transmitted bytes not yet played out
        self.playing = False  # a transmission is being played out
        self.last_input = time.monotonic()  # when the sender last wrote
        self.hears = []  # the stations whose transmissions reach this one's receiver

    def read_transmitter(self, max_pending):
        while True:
            try:
                data = os.read(self.tx, 65536)
            except BlockingIOError:
                return
            if not data:
                return
            if len(self.pending) + len(data) <= max_pending:
                self.pending += data

    def take_chunk(self, chunk_bytes, prebuffer_bytes):
        """The next slice of this station's transmission, or None while it is silent."""
        if not self.playing:
            if not self.pending:
                return None
            # Start on a full prebuffer, or on what there is once the sender stopped writing.
            still_writing = time.monotonic() - self.last_input < PREBUFFER_SECONDS
            if len(self.pending) < prebuffer_bytes and still_writing:
                return None
            self.playing = True
        chunk = bytes(self.pending[:chunk_bytes])
        del self.pending[:chunk_bytes]
        if not self.pending:
            self.playing = False
        if len(chunk) % BYTES_PER_SAMPLE:
            chunk = chunk[:-1]
        return chunk


def mix(chunks, samples):
    """Sums the senders' slices (a collision when more than one), scaled and clipped."""
    total = array.array("i", bytes(4 * samples))
    for chunk in chunks:
        pcm = array.array("h")
        pcm.frombytes(chunk)
        if sys.byteorder == "big":
            pcm.byteswap()
        for i, value in enumerate(pcm):
            total[i] += value
    out = array.array("h", (max(-32768, min(32767, int(v * GAIN))) for v in total))
    if sys.byteorder == "big":
        out.byteswap()
    return out.tobytes()


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description="Real-time audio between Dire Wolf instances")
    parser.add_argument("--rate", type=int, default=48000, help="sample rate in Hz")
    parser.add_argument(
        "--half-duplex", action="store_true", help="mute a station's receiver while it transmits"
    )
    parser.add_argument("items", nargs="+", help="NAME:TX:RX stations, then A-B links")
    return parser.parse_args(argv)


def build_stations(items):
    stations = {}
    links = []
    for item in items:
        if ":" in item:
            name, tx_path, rx_path = item.split(":", 2)
            stations[name] = Station(name, tx_path, rx_path)
        else:
            links.append(item.split("-", 1))
    for a, b in links:
        stations[a].hears.append(stations[b])
        stations[b].hears.append(stations[a])
    return list(stations.values())


def run(args):
    stations = build_stations(args.items)
    samples = int(args.rate * CHUNK_SECONDS)
    chunk_bytes = samples * BYTES_PER_SAMPLE
    prebuffer_bytes = int(args.rate * PREBUFFER_SECONDS) * BYTES_PER_SAMPLE
    max_pending = int(args.rate * MAX_PENDING_SECONDS) * BYTES_PER_SAMPLE
    silence = bytes(chunk_bytes)
    by_fd = {station.tx: station for station in stations}
    parent = sys.stdin.fileno()
    print("ready", flush=True)

    deadline = time.monotonic()
    while True:
        now = time.monotonic()
        readable, _, _ = select.select([parent, *by_fd], [], [], max(0.0, deadline - now))
        for fd in readable:
            if fd == parent:
                if not os.read(parent, 4096):
                    return  # the parent has gone
                continue
            station = by_fd[fd]
            station.read_transmitter(max_pending)
            station.last_input = time.monotonic()
        now = time.monotonic()
        if now < deadline:
            continue
        if now - deadline > MAX_LAG_SECONDS:
            deadline = now
        deadline += CHUNK_SECONDS

        sent = {}
        for station in stations:
            chunk = station.take_chunk(chunk_bytes, prebuffer_bytes)
            if chunk is not None:
                sent[station] = chunk
        for station in stations:
            if args.half_duplex and station in sent:
                heard = []
            else:
                heard = [sent[other] for other in station.hears if other in sent]
            audio = mix(heard, samples) if heard else silence
            try:
                os.write(station.rx, audio)
            except BlockingIOError:
                pass  # that instance has stopped reading; it is on its way out


def main():
    args = parse_arguments(sys.argv[1:])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        run(args)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
