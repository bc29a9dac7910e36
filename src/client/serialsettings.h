// The settings of a serial line towards the client, as the operator gives them: the speed and
// the character format ("9600 8N1"), and flow control.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct SerialSettings {
    enum class Flow { None, RtsCts, XonXoff };

    // A KAM's own defaults: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control.
    qint32 baud = 9600;
    int dataBits = 8;
    char parity = 'N'; // N(one), E(ven), O(dd), M(ark) or S(pace)
    int stopBits = 1;
    Flow flow = Flow::None;

    // As the status shows it: "9600 8N1", or "9600 8N1 RTS/CTS".
    QByteArray text() const;

    bool operator==(const SerialSettings &) const = default;
};

// "8N1", "7E2": data bits 5 to 8, parity, stop bits 1 or 2; nothing when it is none of these.
bool readSerialFormat(const QString &text, SerialSettings &settings);
// "none", "rtscts" or "xonxoff".
std::optional<SerialSettings::Flow> readSerialFlow(const QString &text);
