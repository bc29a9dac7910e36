#include "testengine.h"

#include "engine/agwradioports.h"

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
// AX.25 protocol id for data without a layer-3 protocol: QtSoundModem's on every link event.
constexpr quint8 kPidNoLayer3 = 0xF0;

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

void TestEngine::playQtSoundModem() {
    qtSoundModem_ = true;
    portInfo = "1;Port1 with SoundCard Ch B;";
    registerAnswerKind = 'x';
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
    linksUp_.insert(linkKey(port, remote, own));
    QByteArray text = "*** CONNECTED With Station ";
    if (incoming) {
        text = qtSoundModem_ ? "*** CONNECTED To Station  " : "*** CONNECTED To Station ";
    }
    sendLinkEvent('C', port, remote, own, text);
}

void TestEngine::linkDown(quint8 port, const QByteArray &remote, const QByteArray &own,
                          bool retryOut) {
    linksUp_.remove(linkKey(port, remote, own));
    const QByteArray text = retryOut && !qtSoundModem_ ? "*** DISCONNECTED RETRYOUT With "
                                                       : "*** DISCONNECTED From Station ";
    sendLinkEvent('d', port, remote, own, text);
}

void TestEngine::sendLinkEvent(char kind, quint8 port, const QByteArray &remote,
                               const QByteArray &own, const QByteArray &text) {
    AgwFrame frame = agwEvent(kind, port, remote, own, text + remote + "\r" + QByteArray(1, '\0'));
    if (qtSoundModem_) {
        frame.pid = kPidNoLayer3;
    }
    send(frame);
}

QByteArray TestEngine::linkKey(quint8 port, const QByteArray &callA, const QByteArray &callB) {
    return QByteArray(1, char(port)) + qMin(callA, callB) + ' ' + qMax(callA, callB);
}

void TestEngine::data(quint8 port, const QByteArray &remote, const QByteArray &own,
                      const QByteArray &bytes) {
    AgwFrame frame = agwEvent('D', port, remote, own, bytes);
    frame.pid = kPidNoLayer3;
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

// Answers as the engine played does; link events other than these come from the test.
void TestEngine::answer(const AgwFrame &frame) {
    const AgwRadioPorts ports = AgwRadioPorts::fromPortList(portInfo);
    if (!answerQueries || (qtSoundModem_ && !ports.wirePorts().contains(frame.port))) {
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
        const bool registered = acceptRegistrations && ports.wirePorts().contains(frame.port);
        send(agwEvent(registerAnswerKind, qtSoundModem_ ? 0 : frame.port, frame.callFrom, {},
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
        if (answerOutstanding &&
            (!qtSoundModem_ ||
             linksUp_.contains(linkKey(frame.port, frame.callFrom, frame.callTo)))) {
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
