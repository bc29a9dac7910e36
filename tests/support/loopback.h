// Loopback ports for tests: a port that was free a moment ago, picked by the system.
#pragma once

#include <QTcpServer>

inline quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
