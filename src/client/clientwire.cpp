#include "client/clientwire.h"

#include "client/tcpclienttransport.h"

#ifdef VARNEL_SERIAL_PORT
#include "client/serialclienttransport.h"
#endif
#ifdef Q_OS_LINUX
#include "client/ptyclienttransport.h"
#endif

std::unique_ptr<ClientTransport> makeClientTransport(const ClientWire &wire,
                                                     const QHostAddress &listenAddress) {
    switch (wire.kind) {
    case ClientWire::Kind::Tcp:
        break;
    // The options offer only the wires that this build has.
    case ClientWire::Kind::Serial:
#ifdef VARNEL_SERIAL_PORT
        return std::make_unique<SerialClientTransport>(wire.device, wire.serial);
#else
        break;
#endif
    case ClientWire::Kind::Pty:
#ifdef Q_OS_LINUX
        return std::make_unique<PtyClientTransport>(wire.device);
#else
        break;
#endif
    }
    return std::make_unique<TcpClientTransport>(listenAddress);
}
