// Which wire the client reaches the KAM on: TCP (the default), a serial port, or, on Linux, a
// pseudo-terminal that Varnel makes for a client program that only opens serial devices.
#pragma once

#include "client/clienttransport.h"
#include "client/serialsettings.h"

#include <QHostAddress>
#include <QString>

#include <memory>

struct ClientWire {
    enum class Kind { Tcp, Serial, Pty };

    Kind kind = Kind::Tcp;
    QString device; // the serial port ("/dev/ttyUSB0", "COM3"), or the pseudo-terminal's link
    SerialSettings serial;
};

// The wire's transport; a TCP one listens on listenAddress.
std::unique_ptr<ClientTransport> makeClientTransport(const ClientWire &wire,
                                                     const QHostAddress &listenAddress);
