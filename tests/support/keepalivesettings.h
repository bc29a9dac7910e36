// The keepalive settings of one of this process's TCP sockets on loopback, found by the port of
// its peer and read back from the kernel (Linux).
#pragma once

#include "net/tcpkeepalive.h"

#include <QtGlobal>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

struct KeepAliveSettings {
    int enabled = 0;
    int idleSeconds = 0;
    int intervalSeconds = 0;
    int probeCount = 0;
    bool operator==(const KeepAliveSettings &) const = default;
};

// What enableTcpKeepAlive sets.
inline const KeepAliveSettings kQuickKeepAlive{
    1, tcpkeepalive::kIdleSeconds, tcpkeepalive::kIntervalSeconds, tcpkeepalive::kProbeCount};

inline char *toString(const KeepAliveSettings &s) {
    return qstrdup(QByteArray("on " + QByteArray::number(s.enabled) + ", idle " +
                              QByteArray::number(s.idleSeconds) + " s, interval " +
                              QByteArray::number(s.intervalSeconds) + " s, " +
                              QByteArray::number(s.probeCount) + " probes")
                       .constData());
}

// All zero when no socket of this process has its peer at peerPort.
inline KeepAliveSettings keepAliveTowards(quint16 peerPort) {
    const auto option = [](int fd, int level, int name) {
        int value = -1;
        socklen_t size = sizeof value;
        getsockopt(fd, level, name, &value, &size);
        return value;
    };
    for (int fd = 0; fd < getdtablesize(); ++fd) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &size) != 0 ||
            peer.sin_family != AF_INET || ntohs(peer.sin_port) != peerPort) {
            continue;
        }
        return KeepAliveSettings{
            option(fd, SOL_SOCKET, SO_KEEPALIVE), option(fd, IPPROTO_TCP, TCP_KEEPIDLE),
            option(fd, IPPROTO_TCP, TCP_KEEPINTVL), option(fd, IPPROTO_TCP, TCP_KEEPCNT)};
    }
    return {};
}
