// The client's wire: one client at a time, on TCP or a serial line or a pseudo-terminal alike.
// Its bytes are a stream taken by interface mode: in host mode they are cut into blocks, each
// split and interpreted in turn; in terminal mode they are command lines. The bytes after a
// switch, either way, belong to the new mode. The mode, the unfinished block and the AX.25 link
// all outlive a client, so the next client carries on where the last one left off; only a line
// half typed in terminal mode is the old client's own. Replies go out as they are or framed as
// host-mode blocks.
#include "bridge/bridge.h"
#include "bridge/numbers.h"
#include "client/hostblockcutter.h"

#include <optional>

void Bridge::connectClientSocket() {
    ClientTransport *socket = clientSocket_.get();
    connect(socket, &ClientTransport::connectionRequest, this, &Bridge::Winsock1_ConnectionRequest);
    connect(socket, &ClientTransport::dataArrival, this, &Bridge::Winsock1_DataArrival);
    connect(socket, &ClientTransport::peerClosed, this, &Bridge::Winsock1_Close);
    connect(socket, &ClientTransport::error, this, &Bridge::Winsock1_Error);
    connect(socket, &ClientTransport::report, this, &Bridge::logLine);
}

void Bridge::startListening() {
    quint16 port = 0;
    if (clientSocket_->listensOnPort()) {
        const std::optional<qint32> field = roundHalfEven(s_.listenPort);
        if (!field || *field < 1 || *field > 65535) {
            fail("ERROR cannot listen on " + options_.listenAddress.toString().toLatin1() +
                 " port " + QByteArray::number(s_.listenPort, 'g', 15) +
                 ": not a TCP port (1 to 65535)");
            return;
        }
        port = quint16(*field);
    }
    if (!clientSocket_->open(port)) {
        fail("ERROR " + clientSocket_->errorString().toUtf8());
    }
}

bool Bridge::clientConnected() const {
    return clientSocket_->state() == ClientTransport::State::Connected;
}

void Bridge::closeClient() {
    clientSocket_->close();
}

void Bridge::sendRaw(const QByteArray &text) {
    clientSocket_->send(text);
}

void Bridge::sendBlock(const QByteArray &text) {
    sendRaw(hostcodec::frame(text));
}

void Bridge::dispatchClientData(const QByteArray &arrival) {
    QByteArrayView rest = arrival;
    while (!rest.isEmpty()) {
        rest = s_.hostMode == 1 ? interpretHostBytes(rest) : interpretTerminal(rest);
    }
}

QByteArrayView Bridge::interpretHostBytes(QByteArrayView arrival) {
    HostBlockCutter cutter(s_.clientBuffer, arrival);
    while (const std::optional<CutBlock> cut = cutter.next()) {
        if (cut->droppedBytes > 0) {
            logLine("BLOCK ERROR no closing FEND within " +
                    QByteArray::number(kMaxPendingClientBytes) + " bytes; dropped " +
                    QByteArray::number(cut->droppedBytes) + " bytes");
            continue;
        }
        if (const std::optional<hostcodec::BlockFields> fields = extractBlock(cut->block)) {
            interpretHostBlock(cut->block, *fields);
        }
        if (s_.hostMode == 0) {
            // The terminal mode hears the quit block too, and does not know it.
            interpretTerminal(cut->block);
            return cutter.rest();
        }
    }
    return {};
}

void Bridge::Winsock1_ConnectionRequest() {
    if (clientSocket_->accept()) {
        s_.terminalLine.clear();
        s_.terminalLineTooLong = false;
        s_.hfModeLogged = false;
        logLine("accept winsock connection from client");
    }
}

void Bridge::Winsock1_DataArrival() {
    const QByteArray arrival = clientSocket_->readAll();
    if (!arrival.isEmpty()) {
        dispatchClientData(arrival);
    }
}

void Bridge::Winsock1_Close() {
    if (!clientSocket_->awaitNext()) {
        fail("ERROR " + clientSocket_->errorString().toUtf8());
    }
    logLine("client disconnect winsock close");
}

void Bridge::Winsock1_Error(const QString &description) {
    logLine("Winsock Error " + description.toLatin1());
}
