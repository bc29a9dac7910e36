// TCP keepalive with short timings, for the connections to the client and to the engine. A peer
// whose machine or network vanishes sends no FIN or RST; without probes its connection would stay
// open for the system's default of two hours and more, holding the one client place or keeping a
// dead engine's links "connected". With these timings a silent peer is given up about a minute
// after it was last heard. (While sent data waits unacknowledged no probe goes out; then TCP's
// own retransmission limit ends the connection, in some minutes. A limit of its own for that
// case, TCP_USER_TIMEOUT, is not set: it would also end a connection to a live peer that keeps
// its window closed, which the client and engine connections allow for on purpose.)
#pragma once

#include <QAbstractSocket>
#include <QVariant>

namespace tcpkeepalive {

// Silence before the first probe: long enough that an idle but healthy link costs nothing.
constexpr int kIdleSeconds = 30;
// Between unanswered probes.
constexpr int kIntervalSeconds = 10;
// Unanswered probes before the connection is given up.
constexpr int kProbeCount = 3;

} // namespace tcpkeepalive

// Switches keepalive on for a connected socket, with the timings above where the system lets
// them be set; elsewhere the system's own timings apply.
void enableTcpKeepAlive(QAbstractSocket &socket);
