// The mail client's side of a test: a TCP connection to the bridge that writes requests and
// takes what it expects off the wire, in order.
#pragma once

#include "client/hostcodec.h"

#include <QTcpSocket>
#include <QTest>

class KamClient {
public:
    static constexpr int kTimeoutMs = 10000;

    // Connects, retrying while a freshly started program has no listener yet. A try is given
    // up only when refused: one cut short by a slow machine would leave the bridge a client
    // that is gone before it is served.
    bool connectTo(quint16 port) {
        return QTest::qWaitFor(
            [&] {
                if (socket.state() == QAbstractSocket::UnconnectedState) {
                    socket.connectToHost(QHostAddress::LocalHost, port);
                }
                return socket.state() == QAbstractSocket::ConnectedState;
            },
            kTimeoutMs);
    }

    void write(const QByteArray &bytes) { socket.write(bytes); }
    // Sends one host-mode block with this content.
    void request(const QByteArray &content) { write(hostcodec::frame(content)); }

    // Waits until bytes are the next thing received and takes them; on failure says what
    // came instead.
    bool expect(const QByteArray &bytes) {
        const bool arrived = QTest::qWaitFor(
            [&] {
                received_ += socket.readAll();
                return received_.startsWith(bytes);
            },
            kTimeoutMs);
        if (!arrived) {
            qWarning("client got %s, expected %s", received_.toHex(' ').constData(),
                     bytes.toHex(' ').constData());
            return false;
        }
        received_.remove(0, bytes.size());
        return true;
    }

    QTcpSocket socket;

private:
    QByteArray received_;
};
