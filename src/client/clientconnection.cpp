// The client's TCP connection: one client at a time, nothing listening while it is connected.
// Its bytes are routed by interface mode: in host mode they are cut into blocks, each split and
// interpreted in turn; whenever the bridge is in terminal mode afterwards, the whole arrival
// goes to the terminal-mode dialogue. The mode, the unfinished block and the AX.25 link all
// outlive a client, so the next client carries on where the last one left off.
#include "app/bridge.h"
#include "app/numbers.h"
#include "client/hostblockcutter.h"

#include <optional>

void Bridge::connectClientSocket() {
    connect(&Winsock1, &ClientSocket::connectionRequest, this, &Bridge::Winsock1_ConnectionRequest);
    connect(&Winsock1, &ClientSocket::dataArrival, this, &Bridge::Winsock1_DataArrival);
    connect(&Winsock1, &ClientSocket::peerClosed, this, &Bridge::Winsock1_Close);
    connect(&Winsock1, &ClientSocket::error, this, &Bridge::Winsock1_Error);
}

void Bridge::startListening() {
    const QByteArray address = options_.listenAddress.toString().toLatin1();
    const std::optional<qint32> port = roundHalfEven(s_.listenPort);
    if (!port || *port < 1 || *port > 65535) {
        fail("ERROR cannot listen on " + address + " port " +
             QByteArray::number(s_.listenPort, 'g', 15) + ": not a TCP port (1 to 65535)");
        return;
    }
    if (!Winsock1.listen(options_.listenAddress, quint16(*port))) {
        fail("ERROR cannot listen on " + address + " port " + QByteArray::number(*port) + ": " +
             Winsock1.errorString().toLatin1());
    }
}

void Bridge::closeClient() {
    Winsock1.close();
}

void Bridge::sendRaw(const QByteArray &text) {
    Winsock1.send(text);
}

void Bridge::dispatchClientData(const QByteArray &arrival) {
    if (s_.hostMode == 1) {
        // Every block of the arrival is cut, even after one of them has left host mode.
        HostBlockCutter cutter(s_.clientBuffer, arrival);
        while (std::optional<CutBlock> cut = cutter.next()) {
            if (cut->droppedBytes > 0) {
                logLine("BLOCK ERROR no closing FEND within " +
                        QByteArray::number(kMaxPendingClientBytes) + " bytes; dropped " +
                        QByteArray::number(cut->droppedBytes) + " bytes");
                continue;
            }
            s_.currentBlock = std::move(cut->block);
            extractBlock(s_.currentBlock);
            interpretHostBlock();
        }
    }
    if (s_.hostMode == 0) {
        interpretTerminal(arrival);
    }
}

void Bridge::Winsock1_ConnectionRequest() {
    if (Winsock1.accept()) {
        logLine("accept winsock connection from client");
    }
}

void Bridge::Winsock1_DataArrival() {
    s_.receivedData = Winsock1.readAll();
    if (!s_.receivedData.isEmpty()) {
        dispatchClientData(s_.receivedData);
    }
}

void Bridge::Winsock1_Close() {
    Winsock1.close();
    startListening();
    logLine("client disconnect winsock close");
}

void Bridge::Winsock1_Error(const QString &description) {
    logLine("Winsock Error " + description.toLatin1());
}

void Bridge::Winsock1_Connect() {
    // The bridge never connects out; the socket has no such event to wire.
}
