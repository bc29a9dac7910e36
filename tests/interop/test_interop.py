#!/usr/bin/env python3
"""Varnel against the real packet engine: Dire Wolf 1.6 instances linked by software audio.

Each test starts a rig (tools/lib/rig.py), a headless Varnel on the first instance and a KAM
client on Varnel's client port, and drives real AX.25 connected-mode links at 9600 bd. Everything
runs in a private network and PID namespace that holds only loopback (tools/lib/isolation.py), so
the engines are unreachable from outside and nothing outlives the test, even a killed one.

    test_interop.py --varnel PATH [unittest arguments, e.g. InteropTest.test_retry_out]

A failing test prints Varnel's log, the KAM client's transcript and the Dire Wolf consoles;
VARNEL_INTEROP_SHOW_LOGS=1 prints them for passing tests too.
"""

import argparse
import os
import shutil
import sys
import tempfile
import time
import unittest

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(TOP, "tools", "lib"))

import agw  # noqa: E402
import isolation  # noqa: E402
from kam import KamClient, SerialDevice  # noqa: E402
from kamclients import REPLAYS, Settings  # noqa: E402
from rig import Rig, free_tcp_port  # noqa: E402
from varnel import Varnel  # noqa: E402

VARNEL_CALL = "N0VAR"
ECHO_CALL = "N0ECH"
DIGI_CALL = "N0DIG"
NOBODY_CALL = "N0NONE"
SECOND_CALL = "N0TWO"
# A second station that echoes, for a second link out at once.
SECOND_ECHO_CALL = "N0EC2"
# Registered only after Varnel's call to it was called off.
LATE_CALL = "N0LAT"
# The own callsigns the replayed client programs set.
LINBPQ_CALL = "N0BPQ"
PACLINK_CALL = "N0PCL"
FBB_CALL = "N0FBB"

# Varnel is connected to the engine and answers clients well within this, also when Wine has to
# start it first (tests/windows).
START_TIMEOUT = 60.0
# A link comes up in about 0.25 s direct and 0.5 s through a digipeater; allow for retries.
LINK_TIMEOUT = 15.0
# With FRACK 2 and RETRY 5 an unanswered connect gives up after about 14.5 s.
RETRY_OUT_TIMEOUT = 40.0
# A disconnect during a connect attempt ends it this quickly...
CANCEL_TIMEOUT = 2.0
# ...and no call goes out after it: with FRACK 2 the attempt would repeat well within this.
QUIET_WINDOW = 8.0
# A call that was on the air when the disconnect came may still be reported.
IN_FLIGHT = 0.5
# Longer than the largest AGW 'D' frame (2122 bytes): Varnel has to split it.
LONG_BLOCK_BYTES = 3072
# 3 KB each way at 9600 bd, in frames of 256 bytes with their acknowledgements.
LONG_DATA_TIMEOUT = 30.0
# A restarted engine is found again by Varnel's reconnection.
RECONNECT_TIMEOUT = 30.0
# A transfer that takes a few seconds at 9600 bd, more than Varnel gives the engine ahead.
TRANSFER_BYTES = 6 * 1024
# Data on a link while a call on another stream is called off: on the air for a few seconds.
BUSY_LINK_BLOCKS = 8
# What the status reply says is free with nothing in flight.
EMPTY_FREE_BYTES = 10240
# A disconnect at once, after Dire Wolf's current transmission, takes a few seconds at most:
# well under the time the 6 KiB would take.
PROMPT_DISCONNECT_TIMEOUT = 4.0

READY_LINE = "EVENT: PE is ready"
# Set in the environment, this shows the logs and transcripts of passing tests too.
SHOW_LOGS = "VARNEL_INTEROP_SHOW_LOGS"

varnel_executable = None


class InteropTest(unittest.TestCase):
    def setUp(self):
        self.reports = []  # (title, function giving the text), printed when the test fails
        self.addCleanup(self.check_nothing_left_running)

    def run(self, result=None):
        result = result if result is not None else self.defaultTestResult()
        problems = len(result.failures) + len(result.errors)
        super().run(result)
        if len(result.failures) + len(result.errors) > problems or os.environ.get(SHOW_LOGS):
            for title, text in self.reports:
                print(f"\n===== {title} =====\n{text()}", file=sys.stderr)
        return result

    # --- building blocks -------------------------------------------------------------------

    def start_rig(self, topology="direct"):
        """Instance a (Varnel's) alone ("single"), or with b (the station's), linked directly
        ("direct") or only through a third instance that digipeats ("digipeater")."""
        rig = Rig()
        a = rig.add_instance("a", "N0DWA")
        b = None
        if topology == "direct":
            b = rig.add_instance("b", "N0DWB")
            rig.link(a, b)
        elif topology == "digipeater":
            b = rig.add_instance("b", "N0DWB")
            d = rig.add_instance("d", DIGI_CALL, agw=False, digipeater=True)
            rig.link(a, d)
            rig.link(b, d)
        rig.start()
        # The consoles are read before the rig's files go, for the failure report.
        consoles = {}

        def stop():
            consoles["text"] = rig.logs()
            rig.stop()

        self.addCleanup(stop)
        self.reports.append(("Dire Wolf consoles", lambda: consoles.get("text") or rig.logs()))
        return a, b

    def start_varnel(self, instance, options=()):
        varnel = Varnel(
            varnel_executable, VARNEL_CALL, instance.agw_port, free_tcp_port(), options=options
        )
        self.addCleanup(varnel.stop)
        self.reports.append(("Varnel log", varnel.log_text))
        # Varnel listens for its client before the engine can report ready. No probe of the
        # client port: Varnel serves one client at a time and listens again only after it left.
        varnel.wait_log(lambda line: line == READY_LINE, START_TIMEOUT)
        return varnel

    def open_client(self, varnel):
        client = KamClient(varnel.listen_port)
        self.addCleanup(client.close)
        self.reports.append(("KAM client transcript", client.transcript_text))
        client.start_host_mode()
        return client

    def open_station(self, instance, echo=True, call=ECHO_CALL):
        station = agw.Station(instance.agw_port, call, echo=echo)
        self.addCleanup(station.close)
        return station

    def connect(self, client, call, via=(), stream="1A"):
        self.assertEqual(client.connect(call, via, stream).text(), "C00")
        client.wait_status(f"S{stream}*** CONNECTED to {call}", LINK_TIMEOUT)

    def assert_status(self, client, link_text):
        self.assertEqual(client.status().text(), "C00FREE BYTES 10240\r" + link_text)

    def assert_links(self, client, link_text):
        """The status reply's stream lines, whatever room it reports."""
        self.assertEqual(client.status().text().split("\r", 1)[1], link_text)

    def free_bytes(self, client):
        """The room the status reply reports."""
        first_line = client.status().text().split("\r")[0]
        prefix = "C00FREE BYTES "
        self.assertTrue(first_line.startswith(prefix), first_line)
        return int(first_line[len(prefix):])

    def start_transfer_link(self):
        """Varnel linked to a station that only listens; returns the client, the station and
        Varnel."""
        a, b = self.start_rig()
        station = self.open_station(b, echo=False)
        varnel = self.start_varnel(a)
        client = self.open_client(varnel)
        self.connect(client, ECHO_CALL)
        return client, station, varnel

    def assert_nothing_lost(self, varnel):
        lost = [line for line in varnel.log_text().splitlines() if "not delivered" in line]
        self.assertEqual(lost, [])

    def echo_all_byte_values(self, client, streams=("1A",)):
        """Every byte value, FEND and FESC included, goes out in data blocks on each of the
        streams at once and comes back on the same stream."""
        data = bytes(range(256))
        for stream in streams:
            client.send_data(data, stream)
        for stream in streams:
            header = b"D" + stream.encode("ascii")
            self.assertEqual(client.wait_data(len(data), LINK_TIMEOUT, header), data)

    def disconnect(self, client, station, stream="1A"):
        self.assertEqual(client.disconnect(stream).text(), "C00")
        client.wait_status(f"S{stream}*** DISCONNECTED", LINK_TIMEOUT)
        station.wait_disconnected(VARNEL_CALL, LINK_TIMEOUT)
        if stream == "1A":
            self.assert_status(client, "A/V DISCONNECTED\r")

    def call_off_a_connect_attempt(self, client, monitor, call=NOBODY_CALL, stream="1A"):
        """Calls a station nobody answers and, once the call is on the air, disconnects; returns
        when the disconnect was asked."""
        self.assertEqual(client.connect(call, stream=stream).text(), "C00")
        monitor.wait_frame(f"To {call} <SABM".encode("ascii"), LINK_TIMEOUT)
        asked = time.monotonic()
        self.assertEqual(client.disconnect(stream).text(), "C00")
        client.wait_status(f"S{stream}*** DISCONNECTED", CANCEL_TIMEOUT)
        self.assertLess(time.monotonic() - asked, CANCEL_TIMEOUT)
        return asked

    def replay(self, program, varnel, stations, settings, device=None):
        """Plays a client program's session through Varnel (tools/lib/kamclients.py), on TCP or
        on device (a SerialDevice); then checks that each station had a link from the program's
        own callsign, which carried the data and ended."""
        client = KamClient(device=device) if device else KamClient(varnel.listen_port)
        self.addCleanup(client.close)
        transcript = []
        script = REPLAYS[program](client, settings, write=transcript.append)
        self.reports.append((f"{script.name} session", lambda: "\n".join(transcript)))
        if not script.run():
            step, problem = script.failure
            self.fail(f"{script.name}, step {step!r}: {problem}")
        for station in stations:
            station.wait_connected(settings.mycall, LINK_TIMEOUT)
            station.wait_disconnected(settings.mycall, LINK_TIMEOUT)
            with station.condition:
                self.assertEqual(bytes(station.received[settings.mycall]), settings.data)

    def check_nothing_left_running(self):
        """Runs last: every process the test started has been stopped and reaped."""
        self.assertEqual(isolation.processes_besides_self(), [], "processes left running")

    # --- the tests ---------------------------------------------------------------------------

    def test_rig_carries_a_raw_link(self):
        """The rig alone: two AGW stations, no Varnel. When this fails, the others cannot pass."""
        a, b = self.start_rig()
        echo = self.open_station(b)
        caller = agw.Station(a.agw_port, VARNEL_CALL, echo=False)
        self.addCleanup(caller.close)
        caller.connect(ECHO_CALL)
        caller.wait_connected(ECHO_CALL, LINK_TIMEOUT)
        data = bytes(range(256))
        caller.send(ECHO_CALL, data)
        self.assertEqual(caller.wait_received(ECHO_CALL, len(data), LINK_TIMEOUT), data)
        caller.disconnect(ECHO_CALL)
        caller.wait_disconnected(ECHO_CALL, LINK_TIMEOUT)
        echo.wait_disconnected(VARNEL_CALL, LINK_TIMEOUT)

    def test_retry_out(self):
        """A connect to a call that nobody registered runs out of retries."""
        a, _ = self.start_rig("single")
        varnel = self.start_varnel(a)
        varnel.wait_log(lambda line: line.startswith("AGWPE version "), START_TIMEOUT)
        client = self.open_client(varnel)
        self.assertEqual(client.connect(NOBODY_CALL).text(), "C00")
        self.assert_status(client, "A/V CONNECT in progress " + NOBODY_CALL + "\r")
        client.wait_status("S1A*** retry count exceeded", RETRY_OUT_TIMEOUT)
        client.wait_status("S1A*** DISCONNECTED", LINK_TIMEOUT)
        self.assert_status(client, "A/V DISCONNECTED\r")

    def test_disconnect_during_connect_attempt(self):
        """Dire Wolf 1.6 ignores a disconnect while it is still calling; Varnel renews its
        engine connection instead, which ends the attempt at once: no more calls on the air."""
        a, _ = self.start_rig("single")
        varnel = self.start_varnel(a)
        monitor = agw.Monitor(a.agw_port)
        self.addCleanup(monitor.close)
        client = self.open_client(varnel)
        asked = self.call_off_a_connect_attempt(client, monitor)
        # A call already keyed may still finish; the next one would come within the window.
        time.sleep(QUIET_WINDOW)
        self.assertEqual(monitor.frames_since(asked + IN_FLIGHT, b"SABM"), [])
        self.assert_status(client, "A/V DISCONNECTED\r")
        varnel.wait_log(lambda line: line == READY_LINE, START_TIMEOUT, occurrence=2)

    def test_connect_right_after_a_stopped_attempt(self):
        """A client calls off a mistyped call and at once calls the right one: the connect
        waits for the renewed engine connection and then goes out."""
        a, b = self.start_rig()
        station = self.open_station(b)
        varnel = self.start_varnel(a)
        monitor = agw.Monitor(a.agw_port)
        self.addCleanup(monitor.close)
        client = self.open_client(varnel)
        self.call_off_a_connect_attempt(client, monitor)
        self.connect(client, ECHO_CALL)
        self.echo_all_byte_values(client)
        self.disconnect(client, station)
        self.assertNotIn("ERROR connect to", varnel.log_text())

    def test_outgoing_link_echoes_every_byte_value(self):
        a, b = self.start_rig()
        station = self.open_station(b)
        varnel = self.start_varnel(a)
        client = self.open_client(varnel)
        self.connect(client, ECHO_CALL)
        self.assert_status(client, "A/V CONNECTED to " + ECHO_CALL + "\r")
        self.echo_all_byte_values(client)
        self.disconnect(client, station)

    def test_long_data_block_comes_back_whole(self):
        """One "D1A" block longer than an AGW 'D' may be (Dire Wolf drops the connection past
        2122 bytes) and than an AX.25 frame carries."""
        a, b = self.start_rig()
        station = self.open_station(b)
        varnel = self.start_varnel(a)
        client = self.open_client(varnel)
        self.connect(client, ECHO_CALL)
        data = bytes(range(256)) * (LONG_BLOCK_BYTES // 256)
        client.send_block(b"D1A", data)
        self.assertEqual(client.wait_data(len(data), LONG_DATA_TIMEOUT), data)
        self.disconnect(client, station)

    def test_incoming_link(self):
        """The station calls Varnel's registered call; data flows both ways; it hangs up."""
        a, b = self.start_rig()
        station = self.open_station(b, echo=False)
        varnel = self.start_varnel(a)
        client = self.open_client(varnel)
        station.connect(VARNEL_CALL)
        station.wait_connected(VARNEL_CALL, LINK_TIMEOUT)
        client.wait_status("S1A*** CONNECTED to " + ECHO_CALL, LINK_TIMEOUT)

        to_client = b"from the station \xc0\xdb\r"
        station.send(VARNEL_CALL, to_client)
        self.assertEqual(client.wait_data(len(to_client), LINK_TIMEOUT), to_client)
        to_station = b"from the client \xc0\xdb\r"
        client.send_data(to_station)
        received = station.wait_received(VARNEL_CALL, len(to_station), LINK_TIMEOUT)
        self.assertEqual(received, to_station)

        station.disconnect(VARNEL_CALL)
        station.wait_disconnected(VARNEL_CALL, LINK_TIMEOUT)
        client.wait_status("S1A*** DISCONNECTED", LINK_TIMEOUT)
        self.assert_status(client, "A/V DISCONNECTED\r")

    def test_three_links_at_once(self):
        """Two links out to different stations and a caller on the third stream that takes
        calls: every byte value goes both ways on all three at once, and when one ends, the
        others carry on."""
        a, b = self.start_rig()
        self.open_station(b)
        second = self.open_station(b, call=SECOND_ECHO_CALL)
        caller = self.open_station(b, call=SECOND_CALL)
        varnel = self.start_varnel(a)
        client = self.open_client(varnel)
        self.assertEqual(client.command(b"C10", b"USERS 3").header, b"C00")
        self.connect(client, ECHO_CALL)
        self.connect(client, SECOND_ECHO_CALL, stream="1B")
        caller.connect(VARNEL_CALL)
        client.wait_status("S1C*** CONNECTED to " + SECOND_CALL, LINK_TIMEOUT)
        self.assert_status(
            client,
            f"A/V CONNECTED to {ECHO_CALL}\rB/V CONNECTED to {SECOND_ECHO_CALL}\r"
            f"C/V CONNECTED to {SECOND_CALL}\r",
        )
        self.echo_all_byte_values(client, ("1A", "1B", "1C"))

        self.disconnect(client, second, stream="1B")
        self.assert_links(client, f"A/V CONNECTED to {ECHO_CALL}\rC/V CONNECTED to {SECOND_CALL}\r")
        self.echo_all_byte_values(client, ("1A", "1C"))
        log = varnel.log_text().splitlines()
        self.assertIn(f"Link C/V up: {SECOND_CALL}, incoming", log)
        ended = f"Link B/V ended: {SECOND_ECHO_CALL}, 256 bytes sent, 256 received, up 0:00:"
        self.assertTrue(any(line.startswith(ended) for line in log), ended)

    def test_called_off_attempt_leaves_the_other_link_alone(self):
        """While a link carries data, a call on a second stream is called off before anyone
        answers: the stream is free at once and the link keeps every byte. The engine calls
        on; when the station answers after all, that link is taken down unseen by the
        client."""
        a, b = self.start_rig()
        self.open_station(b)
        varnel = self.start_varnel(a)
        monitor = agw.Monitor(a.agw_port)
        self.addCleanup(monitor.close)
        client = self.open_client(varnel)
        self.connect(client, ECHO_CALL)
        data = bytes(range(256)) * BUSY_LINK_BLOCKS
        client.send_data(data)
        self.call_off_a_connect_attempt(client, monitor, LATE_CALL, stream="1B")

        late = self.open_station(b, echo=False, call=LATE_CALL)
        late.wait_connected(VARNEL_CALL, RETRY_OUT_TIMEOUT)
        late.wait_disconnected(VARNEL_CALL, LINK_TIMEOUT)
        self.assertEqual(client.wait_data(len(data), LONG_DATA_TIMEOUT), data)
        with client.condition:
            self.assertEqual([b.text() for b in client.blocks if b.header[1:] == b"1B"], [])
        self.assert_links(client, f"A/V CONNECTED to {ECHO_CALL}\rB/V DISCONNECTED\r")
        log = varnel.log_text().splitlines()
        self.assertEqual(
            [line for line in log if line.startswith("Link B/V")],
            [f"Link B/V ended: {LATE_CALL}, never connected, asked by the client"],
        )

    def test_refusals_while_a_link_is_up(self):
        """With the one stream that takes calls (USERS 1) linked, a caller hears that Varnel
        is busy before it is disconnected. A connect to the station linked on another stream,
        and one beyond MAXUSERS, are refused with their stream's DISCONNECTED. The link carries
        on through all of it."""
        a, b = self.start_rig()
        station = self.open_station(b)
        caller = self.open_station(b, echo=False, call=SECOND_CALL)
        varnel = self.start_varnel(a)
        client = self.open_client(varnel)
        self.connect(client, ECHO_CALL)

        caller.connect(VARNEL_CALL)
        caller.wait_disconnected(VARNEL_CALL, LINK_TIMEOUT)
        with caller.condition:
            busy = bytes(caller.received[VARNEL_CALL])
        self.assertEqual(busy, f"*** {VARNEL_CALL} busy, try later\r".encode("ascii"))
        varnel.wait_log(
            lambda line: line.startswith(f"Incoming link from {SECOND_CALL} refused as busy: "),
            LINK_TIMEOUT,
        )

        # MAXUSERS HF/VHF: two streams on port 1.
        self.assertEqual(client.command(b"C10", b"MAXUSERS 1/2").header, b"C00")
        for stream, call, refusal in (
            ("1B", ECHO_CALL, "Already connected on stream A"),
            ("1C", SECOND_CALL, "Can't CONNECT, C/V is beyond MAXUSERS 1/2"),
        ):
            self.assertEqual(client.connect(call, stream=stream).text(), "C00" + refusal)
            client.wait_status(f"S{stream}*** DISCONNECTED")
        with client.condition:
            self.assertEqual([b.text() for b in client.blocks if b.header[:1] == b"S"], [])
        self.assert_links(client, f"A/V CONNECTED to {ECHO_CALL}\r")
        self.echo_all_byte_values(client)
        self.disconnect(client, station)

    def test_shutdown_takes_the_link_down_on_the_air(self):
        """Dire Wolf drops a closing client's links without a DISC; Varnel disconnects first,
        so the far end is not left waiting for minutes."""
        a, b = self.start_rig()
        station = self.open_station(b)
        varnel = self.start_varnel(a)
        client = self.open_client(varnel)
        self.connect(client, ECHO_CALL)
        self.assertEqual(varnel.stop(), 0)
        station.wait_disconnected(VARNEL_CALL, LINK_TIMEOUT)

    def test_free_bytes_follow_a_transfer(self):
        """The room falls while data is in flight and is whole again once the station has it."""
        client, station, varnel = self.start_transfer_link()
        data = bytes(range(256)) * (TRANSFER_BYTES // 256)
        client.send_data(data)
        self.assertLess(self.free_bytes(client), EMPTY_FREE_BYTES)
        self.assertEqual(station.wait_received(VARNEL_CALL, len(data), LONG_DATA_TIMEOUT), data)
        deadline = time.monotonic() + LINK_TIMEOUT
        while self.free_bytes(client) != EMPTY_FREE_BYTES:
            self.assertLess(time.monotonic(), deadline, "FREE BYTES never came back to its highest")
            time.sleep(0.1)
        self.assert_nothing_lost(varnel)
        self.disconnect(client, station)

    def test_disconnect_right_after_data_delivers_it_first(self):
        """Dire Wolf empties a link's queue when told to disconnect: Varnel waits for the data
        to be delivered before it asks."""
        client, station, varnel = self.start_transfer_link()
        data = bytes(range(256)) * (TRANSFER_BYTES // 256)
        client.send_data(data)
        self.assertEqual(client.disconnect().text(), "C00")
        client.wait_status("S1A*** DISCONNECTED", LONG_DATA_TIMEOUT)
        with station.condition:
            self.assertEqual(bytes(station.received[VARNEL_CALL]), data)
        station.wait_disconnected(VARNEL_CALL, LINK_TIMEOUT)
        self.assert_nothing_lost(varnel)
        self.assert_status(client, "A/V DISCONNECTED\r")

    def test_second_disconnect_during_the_drain_ends_the_link_at_once(self):
        """The client insists: the link goes down without waiting for the data, and the bytes
        not delivered are in the log."""
        client, station, varnel = self.start_transfer_link()
        client.send_data(bytes(range(256)) * (TRANSFER_BYTES // 256))
        self.assertEqual(client.disconnect().text(), "C00")
        started = time.monotonic()
        self.assertEqual(client.disconnect().text(), "C00")
        client.wait_status("S1A*** DISCONNECTED", PROMPT_DISCONNECT_TIMEOUT)
        self.assertLess(time.monotonic() - started, PROMPT_DISCONNECT_TIMEOUT)
        station.wait_disconnected(VARNEL_CALL, LINK_TIMEOUT)
        with station.condition:
            delivered = len(station.received[VARNEL_CALL])
        self.assertLess(delivered, TRANSFER_BYTES)
        varnel.wait_log(lambda line: "bytes for N0ECH not delivered" in line, LINK_TIMEOUT)

    def test_link_through_digipeater(self):
        """Varnel's and the station's instances hear only the digipeater."""
        a, b = self.start_rig("digipeater")
        station = self.open_station(b)
        varnel = self.start_varnel(a)
        client = self.open_client(varnel)
        self.connect(client, ECHO_CALL, via=[DIGI_CALL])
        self.echo_all_byte_values(client)
        self.disconnect(client, station)

    def test_engine_restart_under_running_varnel(self):
        """Dire Wolf stops with a link up and starts again: the client hears the link go down,
        Varnel finds the engine again, registers its call again, and links work as before."""
        a, b = self.start_rig()
        station = self.open_station(b)
        varnel = self.start_varnel(a)
        client = self.open_client(varnel)
        self.connect(client, ECHO_CALL)

        a.stop()
        client.wait_status("S1A*** DISCONNECTED", LINK_TIMEOUT)
        self.assert_status(client, "A/V DISCONNECTED\r")
        a.start()
        a.wait_ready()
        varnel.wait_log(lambda line: line == READY_LINE, RECONNECT_TIMEOUT, occurrence=2)

        self.connect(client, ECHO_CALL)
        self.echo_all_byte_values(client)
        self.disconnect(client, station)
        # Only a registered call gets incoming links.
        station.connect(VARNEL_CALL)
        client.wait_status("S1A*** CONNECTED to " + ECHO_CALL, LINK_TIMEOUT)

    def test_linbpq_session(self):
        """LinBPQ's terminal-mode settings with MYCALL, its host-mode polls and HF set-up, two
        users linked at once on streams J and I, and the quit block Q. What LinBPQ ordinarily
        sends raises no alarm in the log, and its own callsign replacing Varnel's is told."""
        a, b = self.start_rig()
        stations = [self.open_station(b), self.open_station(b, call=SECOND_ECHO_CALL)]
        varnel = self.start_varnel(a)
        settings = Settings(
            mycall=LINBPQ_CALL,
            call=ECHO_CALL,
            second_call=SECOND_ECHO_CALL,
            link_timeout=LINK_TIMEOUT,
        )
        self.replay("linbpq", varnel, stations, settings)
        log = varnel.log_text().splitlines()
        self.assertEqual([line for line in log if "ERROR" in line], [])
        replaced = f"Own callsign {VARNEL_CALL} replaced by {LINBPQ_CALL}, as the client asked"
        self.assertIn(replaced, log)

    def test_linbpq_session_on_a_pseudo_terminal(self):
        """LinBPQ opens the device of its COMPORT line: the KAM on the pseudo-terminal that
        --pty makes, the same session through it."""
        a, b = self.start_rig()
        station = self.open_station(b)
        device = os.path.join(tempfile.mkdtemp(), "kam")
        varnel = self.start_varnel(a, options=("--pty", device))
        settings = Settings(mycall=LINBPQ_CALL, call=ECHO_CALL, link_timeout=LINK_TIMEOUT)
        self.replay("linbpq", varnel, [station], settings, device=SerialDevice.open(device))
        varnel.stop()
        self.assertFalse(os.path.lexists(device), "the link outlived Varnel")

    def test_paclink_session_on_a_serial_line(self):
        """Varnel on one end of a serial line at 19200 baud, Paclink's session on the other: a
        pseudo-terminal pair stands in for the null-modem cable."""
        a, b = self.start_rig()
        station = self.open_station(b)
        client_end, varnel_end = os.openpty()
        varnel = self.start_varnel(a, options=("--serial", os.ttyname(varnel_end) + ":19200"))
        os.close(varnel_end)  # Varnel has it open now
        settings = Settings(mycall=PACLINK_CALL, call=ECHO_CALL, link_timeout=LINK_TIMEOUT)
        self.replay("paclink", varnel, [station], settings, SerialDevice(client_end, 19200))

    def paclink_session(self, tnc_port):
        a, b = self.start_rig()
        station = self.open_station(b)
        varnel = self.start_varnel(a)
        settings = Settings(
            mycall=PACLINK_CALL, call=ECHO_CALL, tnc_port=tnc_port, link_timeout=LINK_TIMEOUT
        )
        self.replay("paclink", varnel, [station], settings)

    def test_paclink_session_on_tnc_port_1(self):
        """Paclink's default: polls C10S, link on C1A/D1A."""
        self.paclink_session(1)

    def test_paclink_session_on_tnc_port_2(self):
        self.paclink_session(2)

    def test_fbb_session_from_host_mode_start(self):
        """FBB sends host-mode blocks from its first byte, one byte per write, and sets its
        call with MY on stream 0. On its first channel (stream A) a connect nobody answers runs
        out of retries; then its two channels, A and B, carry a link each at once."""
        a, b = self.start_rig()
        stations = [self.open_station(b), self.open_station(b, call=SECOND_ECHO_CALL)]
        varnel = self.start_varnel(a, options=("--host-mode",))
        settings = Settings(
            mycall=FBB_CALL,
            call=ECHO_CALL,
            second_call=SECOND_ECHO_CALL,
            unanswered=NOBODY_CALL,
            link_timeout=RETRY_OUT_TIMEOUT,
        )
        self.replay("fbb", varnel, stations, settings)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--varnel", required=True, help="the varnel executable to test")
    args, rest = parser.parse_known_args()
    global varnel_executable
    varnel_executable = os.path.abspath(args.varnel)
    if shutil.which("direwolf") is None:
        sys.exit("direwolf not found: run tools/install-deps test")
    if not os.access(varnel_executable, os.X_OK):
        sys.exit(f"{varnel_executable} not found: run tools/build")
    try:
        isolation.run_isolated(private_tmp=True)
    except isolation.IsolationError as error:
        sys.exit(str(error))
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
