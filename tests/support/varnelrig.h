// A varnel process, headless unless asked otherwise, between the test engine and a KAM client
// on loopback, for the fault tests, the window tests and the end-to-end benchmark. Every
// process it starts, it stops.
#pragma once

#include "client/hostcodec.h"
#include "support/kamclient.h"
#include "support/loopback.h"
#include "support/testengine.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpSocket>

#include <csignal>

// Connects socket to port on loopback as soon as something listens there, trying again at once
// after each refusal, so that the moment of success measures start-up. False when the process
// that is to listen ends, or timeoutMs passes, first.
inline bool connectWhenListening(QTcpSocket &socket, quint16 port, const QProcess &process,
                                 int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        socket.abort();
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            return true;
        }
    }
    return false;
}

class VarnelRig {
public:
    static constexpr int kTimeoutMs = 10000;
    // The remote station of the links the rig brings up.
    static constexpr QByteArrayView kRemoteCall = "K1ABC";

    explicit VarnelRig(QString program) : program_(std::move(program)) {
        varnel.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~VarnelRig() { stop(); }

    // Starts the test engine and varnel with the own callsign, port and filter fields; the
    // engine and listen ports are the rig's own.
    bool start(const QByteArray &firstFields = "N0CALL,1,true") {
        if (!engine.start()) {
            return false;
        }
        const QString fields =
            QString::fromLatin1(firstFields + "," + QByteArray::number(engine.port()) + "," +
                                QByteArray::number(listenPort));
        varnel.start(program_, headless ? QStringList{QStringLiteral("--headless"), fields}
                                        : QStringList{fields});
        return varnel.waitForStarted(kTimeoutMs);
    }

    // Connects the client as soon as varnel listens.
    bool connectClient() {
        return connectWhenListening(client.socket, listenPort, varnel, kTimeoutMs);
    }

    // The engine has heard the own callsign's registration count times.
    bool registered(qsizetype count = 1) { return engine.waitForFrames('X', count, kTimeoutMs); }

    // Varnel ready, the client connected and in host mode.
    bool readyInHostMode() {
        if (!registered() || !connectClient()) {
            return false;
        }
        client.write("RESET\r");
        return client.expect("\300\300S00\300");
    }

    // An incoming link from kRemoteCall, reported to the client.
    bool linkUp() {
        engine.linkUp(0, kRemoteCall.toByteArray(), "N0CALL", true);
        return expectBlock("S1A*** CONNECTED to " + kRemoteCall.toByteArray());
    }

    bool expectBlock(const QByteArray &content) { return client.expect(hostcodec::frame(content)); }

    // What varnel has logged on standard output so far.
    QByteArray log() {
        log_ += varnel.readAllStandardOutput();
        return log_;
    }

    // SIGTERM, as a service manager stops it; killed if it does not end in time. True when
    // it ended by itself with status 0.
    bool stop() {
        if (varnel.state() == QProcess::NotRunning) {
            return varnel.exitStatus() == QProcess::NormalExit && varnel.exitCode() == 0;
        }
        ::kill(pid_t(varnel.processId()), SIGTERM);
        if (varnel.waitForFinished(kTimeoutMs)) {
            return varnel.exitStatus() == QProcess::NormalExit && varnel.exitCode() == 0;
        }
        varnel.kill();
        varnel.waitForFinished();
        return false;
    }

    // False: with the window, on the display that the test has.
    bool headless = true;
    TestEngine engine;
    QProcess varnel;
    const quint16 listenPort = freeLoopbackPort();
    KamClient client;

private:
    QString program_;
    QByteArray log_;
};
