#include "client/clientwire.h"

#include "client/serialclienttransport.h"
#include "client/tcpclienttransport.h"

#ifdef Q_OS_LINUX
#include "client/ptyclienttransport.h"
#endif

std::unique_ptr<ClientTransport> makeClientTransport(const ClientWire &wire,
                                                     const QHostAddress &listenAddress) {
    switch (wire.kind) {
    case ClientWire::Kind::Tcp:
        break;
    case ClientWire::Kind::Serial:
        return std::make_unique<SerialClientTransport>(wire.device, wire.serial);
    // The options offer a pseudo-terminal only where there is one.
    case ClientWire::Kind::Pty:
#ifdef Q_OS_LINUX
        return std::make_unique<PtyClientTransport>(wire.device);
#else
        break;
#endif
    }
    return std::make_unique<TcpClientTransport>(listenAddress);
}
