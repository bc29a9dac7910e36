#include "client/serialsettings.h"

QByteArray SerialSettings::text() const {
    QByteArray text = QByteArray::number(baud) + ' ' + QByteArray::number(dataBits) + parity +
                      QByteArray::number(stopBits);
    switch (flow) {
    case Flow::None:
        break;
    case Flow::RtsCts:
        text += " RTS/CTS";
        break;
    case Flow::XonXoff:
        text += " XON/XOFF";
        break;
    }
    return text;
}

bool readSerialFormat(const QString &text, SerialSettings &settings) {
    const QString format = text.toUpper();
    if (format.size() != 3 || format[0] < u'5' || format[0] > u'8' ||
        !QStringLiteral("NEOMS").contains(format[1]) || (format[2] != u'1' && format[2] != u'2')) {
        return false;
    }
    settings.dataBits = format[0].digitValue();
    settings.parity = char(format[1].unicode());
    settings.stopBits = format[2].digitValue();
    return true;
}

std::optional<SerialSettings::Flow> readSerialFlow(const QString &text) {
    const QString flow = text.toLower();
    if (flow == QStringLiteral("none")) {
        return SerialSettings::Flow::None;
    }
    if (flow == QStringLiteral("rtscts")) {
        return SerialSettings::Flow::RtsCts;
    }
    if (flow == QStringLiteral("xonxoff")) {
        return SerialSettings::Flow::XonXoff;
    }
    return std::nullopt;
}
