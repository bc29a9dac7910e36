// A small AGW engine for tests, on 127.0.0.1: answers the version, port and registration
// queries the way Dire Wolf 1.6 does, or QtSoundModem, records every frame it is sent, and lets
// a test raise link events, send garbage or drop the connection.
#pragma once

#include "engine/agwframe.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

class TestEngine : public QObject {
    Q_OBJECT
public:
    // Dire Wolf 1.6 with one sound card: all six ports listed, five of them unconfigured.
    static const QByteArray kDireWolfPortInfo;

    explicit TestEngine(QObject *parent = nullptr);

    // From now on it plays QtSoundModem 0.0.0.74 with only its modem B on: every request for
    // another port goes unanswered (port 0 is silent), the port list names the one modem as
    // Port1, registrations are answered with 'x' on port 0, the texts of 'C' and 'd' come with
    // PID 0xF0, an incoming link's has two blanks before the call, every 'd' has the same text,
    // a retry-out too, and 'Y' for a link it does not have gets no answer.
    void playQtSoundModem();

    // Listens on 127.0.0.1, on the port given or, with 0, on a free one.
    bool start(quint16 port = 0);
    // Stops listening and drops every connection, as an engine that exits.
    void stop();
    quint16 port() const { return port_; }

    // Behaviour, changeable at any time.
    QByteArray portInfo = kDireWolfPortInfo; // the 'G' answer, without its NUL
    bool answerQueries = true;               // false: a slot that is accepted but never served
    bool acceptRegistrations = true;         // false: refuse every 'X' with 00
    char registerAnswerKind = 'X';           // 'x': the other engine's way of saying yes
    bool answerDisconnects = true;           // answer a 'd' at once with the 'd' event
    bool answerConnects = false;             // answer 'C' and 'v' at once with the 'C' event
    bool answerOutstanding = true;           // false: an engine without the 'Y' query
    quint32 outstandingFrames = 0;           // the 'Y' answer: frames the link still holds

    // Every frame received, over all connections, in order.
    QList<AgwFrame> received;
    QList<AgwFrame> receivedOfKind(char kind) const;
    // Waits until at least count frames of the kind have arrived.
    bool waitForFrames(char kind, qsizetype count = 1, int timeoutMs = 5000);
    int connectionCount() const { return connectionCount_; }
    bool hasClient() const;
    bool waitForClient(int timeoutMs = 5000);

    // To the connection accepted last. Ports count from 0, as on the wire.
    void send(const AgwFrame &frame);
    void sendBytes(const QByteArray &bytes);
    void linkUp(quint8 port, const QByteArray &remote, const QByteArray &own, bool incoming);
    void linkDown(quint8 port, const QByteArray &remote, const QByteArray &own,
                  bool retryOut = false);
    void data(quint8 port, const QByteArray &remote, const QByteArray &own,
              const QByteArray &bytes);
    void dropClient();
    // False: the engine stops reading, as one that has fallen behind; what it is sent piles up
    // in the kernel and then in the sender. True: it reads again.
    void setReading(bool reading);

signals:
    void frameReceived(const AgwFrame &frame);

private:
    void accept();
    void answer(const AgwFrame &frame);
    // A link event, with the PID that the engine played puts on it.
    void sendLinkEvent(char kind, quint8 port, const QByteArray &remote, const QByteArray &own,
                       const QByteArray &text);
    static QByteArray linkKey(quint8 port, const QByteArray &callA, const QByteArray &callB);

    QTcpServer server_;
    quint16 port_ = 0;
    QPointer<QTcpSocket> client_;
    int connectionCount_ = 0;
    bool reading_ = true;
    bool qtSoundModem_ = false;
    QSet<QByteArray> linksUp_; // by linkKey
};
