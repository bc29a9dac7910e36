#include "testengine.h"

#include "engine/agwreplies.h"

#include <QTest>
#include <QtEndian>

#include <memory>

const QByteArray TestEngine::kDireWolfPortInfo =
    "1;Port1 first soundcard mono;Port2 INVALID CHANNEL;Port3 INVALID CHANNEL;"
    "Port4 INVALID CHANNEL;Port5 INVALID CHANNEL;Port6 INVALID CHANNEL;";

namespace {

// Dire Wolf's version answer: 2005.127.
constexpr quint32 kVersionMajor = 2005;
constexpr quint32 kVersionMinor = 127;

AgwFrame agwEvent(char kind, quint8 port, const QByteArray &from, const QByteArray &to,
                  const QByteArray &data) {
    AgwFrame frame;
    frame.kind = kind;
    frame.port = port;
    frame.callFrom = from;
    frame.callTo = to;
    frame.data = data;
    return frame;
}

} // namespace

TestEngine::TestEngine(QObject *parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, &TestEngine::accept);
}

bool TestEngine::start(quint16 port) {
    if (!server_.listen(QHostAddress::LocalHost, port)) {
        return false;
    }
    port_ = server_.serverPort();
    return true;
}

void TestEngine::stop() {
    server_.close();
    for (QTcpSocket *socket : findChildren<QTcpSocket *>()) {
        socket->disconnectFromHost();
        socket->deleteLater();
    }
}

QList<AgwFrame> TestEngine::receivedOfKind(char kind) const {
    QList<AgwFrame> frames;
    for (const AgwFrame &frame : received) {
        if (frame.kind == kind) {
            frames.append(frame);
        }
    }
    return frames;
}

bool TestEngine::waitForFrames(char kind, qsizetype count, int timeoutMs) {
    return QTest::qWaitFor([&] { return receivedOfKind(kind).size() >= count; }, timeoutMs);
}

bool TestEngine::hasClient() const {
    return client_ && client_->state() == QAbstractSocket::ConnectedState;
}

bool TestEngine::waitForClient(int timeoutMs) {
    return QTest::qWaitFor([&] { return hasClient(); }, timeoutMs);
}

void TestEngine::send(const AgwFrame &frame) {
    sendBytes(encodeAgwFrame(frame));
}

void TestEngine::sendBytes(const QByteArray &bytes) {
    if (hasClient()) {
        client_->write(bytes);
    }
}

void TestEngine::linkUp(quint8 port, const QByteArray &remote, const QByteArray &own,
                        bool incoming) {
    const QByteArray text = incoming ? "*** CONNECTED To Station " : "*** CONNECTED With Station ";
    send(agwEvent('C', port, remote, own, text + remote + "\r" + QByteArray(1, '\0')));
}

void TestEngine::linkDown(quint8 port, const QByteArray &remote, const QByteArray &own,
                          bool retryOut) {
    const QByteArray text =
        retryOut ? "*** DISCONNECTED RETRYOUT With " : "*** DISCONNECTED From Station ";
    send(agwEvent('d', port, remote, own, text + remote + "\r" + QByteArray(1, '\0')));
}

void TestEngine::data(quint8 port, const QByteArray &remote, const QByteArray &own,
                      const QByteArray &bytes) {
    AgwFrame frame = agwEvent('D', port, remote, own, bytes);
    frame.pid = 0xF0;
    send(frame);
}

void TestEngine::dropClient() {
    if (client_) {
        client_->disconnectFromHost();
    }
}

void TestEngine::setReading(bool reading) {
    reading_ = reading;
    if (client_) {
        // A full read buffer makes Qt leave the rest in the kernel; 0 lifts the limit again.
        client_->setReadBufferSize(reading ? 0 : 1);
    }
}

void TestEngine::accept() {
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        ++connectionCount_;
        client_ = socket;
        auto reader = std::make_shared<AgwFrameReader>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, reader] {
            if (!reading_) {
                return;
            }
            reader->append(socket->readAll());
            while (const std::optional<AgwFrame> frame = reader->next()) {
                received.append(*frame);
                emit frameReceived(*frame);
                if (socket == client_) {
                    answer(*frame);
                }
            }
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

// Answers as Dire Wolf 1.6 does; link events other than these come from the test.
void TestEngine::answer(const AgwFrame &frame) {
    if (!answerQueries) {
        return;
    }
    switch (frame.kind) {
    case 'R': {
        QByteArray version(8, '\0');
        qToLittleEndian(kVersionMajor, version.data());
        qToLittleEndian(kVersionMinor, version.data() + 4);
        send(agwEvent('R', 0, {}, {}, version));
        break;
    }
    case 'G':
        send(agwEvent('G', 0, {}, {}, portInfo + QByteArray(1, '\0')));
        break;
    case 'X': {
        const bool registered =
            acceptRegistrations && realRadioPorts(portInfo).contains(frame.port + 1);
        send(agwEvent(registerAnswerKind, frame.port, frame.callFrom, {},
                      registerAnswerKind == 'X' ? QByteArray(1, registered ? '\1' : '\0')
                                                : QByteArray()));
        break;
    }
    case 'd':
        if (answerDisconnects) {
            linkDown(frame.port, frame.callTo, frame.callFrom);
        }
        break;
    case 'Y':
        if (answerOutstanding) {
            QByteArray count(4, '\0');
            qToLittleEndian(outstandingFrames, count.data());
            send(agwEvent('Y', frame.port, frame.callFrom, frame.callTo, count));
        }
        break;
    case 'C':
    case 'v':
        if (answerConnects) {
            linkUp(frame.port, frame.callTo, frame.callFrom, false);
        }
        break;
    default:
        break;
    }
}
