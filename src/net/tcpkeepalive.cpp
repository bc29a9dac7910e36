#include "net/tcpkeepalive.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
// After winsock2.h, which declares what these use.
#include <mstcpip.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {

#ifdef Q_OS_WIN

// Windows 10 1703 and later take the probe count; older MinGW headers lack its name.
#ifndef TCP_KEEPCNT
#define TCP_KEEPCNT 16
#endif

void setTimings(qintptr descriptor) {
    const auto socket = SOCKET(descriptor);
    // Idle time and interval in milliseconds; Windows has always taken these.
    tcp_keepalive timings{1, tcpkeepalive::kIdleSeconds * 1000u,
                          tcpkeepalive::kIntervalSeconds * 1000u};
    DWORD returned = 0;
    WSAIoctl(socket, SIO_KEEPALIVE_VALS, &timings, sizeof timings, nullptr, 0, &returned, nullptr,
             nullptr);
    const DWORD count = tcpkeepalive::kProbeCount;
    setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, reinterpret_cast<const char *>(&count),
               sizeof count);
}

#else

void setOption(int descriptor, int option, int value) {
    setsockopt(descriptor, IPPROTO_TCP, option, &value, sizeof value);
}

void setTimings(qintptr descriptor) {
    const int socket = int(descriptor);
#ifdef TCP_KEEPIDLE
    setOption(socket, TCP_KEEPIDLE, tcpkeepalive::kIdleSeconds);
#elif defined(TCP_KEEPALIVE)
    setOption(socket, TCP_KEEPALIVE, tcpkeepalive::kIdleSeconds); // the BSD name
#endif
#ifdef TCP_KEEPINTVL
    setOption(socket, TCP_KEEPINTVL, tcpkeepalive::kIntervalSeconds);
#endif
#ifdef TCP_KEEPCNT
    setOption(socket, TCP_KEEPCNT, tcpkeepalive::kProbeCount);
#endif
}

#endif

} // namespace

void enableTcpKeepAlive(QAbstractSocket &socket) {
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, QVariant(1));
    if (socket.socketDescriptor() != -1) {
        setTimings(socket.socketDescriptor());
    }
}
