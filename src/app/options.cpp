#include "app/options.h"

namespace {

// Returns the value of an option given as "--name VALUE" or "--name=VALUE".
bool takeValue(const QStringList &arguments, qsizetype &i, const QString &name, QString &value,
               QString &error) {
    const QString &argument = arguments[i];
    if (argument.startsWith(name + u'=')) {
        value = argument.mid(name.size() + 1);
        return true;
    }
    if (argument != name) {
        return false;
    }
    if (i + 1 >= arguments.size()) {
        error = name + QStringLiteral(" needs a value");
        return true;
    }
    value = arguments[++i];
    return true;
}

QHostAddress hostAddress(const QString &text) {
    if (text.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) {
        return QHostAddress(QHostAddress::LocalHost);
    }
    return QHostAddress(text);
}

// "DEVICE[:BAUD]"; a device name may have colons of its own (/dev/serial/by-path/...), so only
// digits after the last one are a speed.
QString readSerialDevice(const QString &text, SerialSettings &settings, QString &error) {
    const qsizetype colon = text.lastIndexOf(u':');
    bool isNumber = false;
    const qint32 baud = colon < 0 ? 0 : text.sliced(colon + 1).toInt(&isNumber);
    if (!isNumber) {
        return text;
    }
    if (baud <= 0) {
        error =
            QStringLiteral("--serial: \"%1\" is not a speed in baud").arg(text.sliced(colon + 1));
    }
    settings.baud = baud;
    return text.first(colon);
}

// Takes --serial, --serial-format, --serial-flow and --pty; false when the argument is none.
bool takeWireOption(const QStringList &arguments, qsizetype &i, ClientWire &wire, QString &error) {
    QString value;
    if (takeValue(arguments, i, QStringLiteral("--serial"), value, error)) {
        wire.kind = ClientWire::Kind::Serial;
        wire.device = readSerialDevice(value, wire.serial, error);
        if (error.isEmpty() && wire.device.isEmpty()) {
            error = QStringLiteral("--serial needs a device");
        }
    } else if (takeValue(arguments, i, QStringLiteral("--serial-format"), value, error)) {
        if (error.isEmpty() && !readSerialFormat(value, wire.serial)) {
            error = QStringLiteral("--serial-format: \"%1\" is not like 8N1").arg(value);
        }
    } else if (takeValue(arguments, i, QStringLiteral("--serial-flow"), value, error)) {
        const std::optional<SerialSettings::Flow> flow = readSerialFlow(value);
        if (flow) {
            wire.serial.flow = *flow;
        } else if (error.isEmpty()) {
            error =
                QStringLiteral("--serial-flow: \"%1\" is not none, rtscts or xonxoff").arg(value);
        }
#ifdef Q_OS_LINUX
    } else if (takeValue(arguments, i, QStringLiteral("--pty"), value, error)) {
        wire.kind = ClientWire::Kind::Pty;
        wire.device = value;
        if (error.isEmpty() && value.isEmpty()) {
            error = QStringLiteral("--pty needs a path");
        }
#endif
    } else {
        return false;
    }
    return true;
}

} // namespace

ProgramOptions parseProgramOptions(const QStringList &arguments) {
    ProgramOptions options;
    qsizetype i = 0;
    for (; i < arguments.size() && options.error.isEmpty(); ++i) {
        const QString &argument = arguments[i];
        QString value;
        if (argument == QStringLiteral("--")) {
            ++i;
            break;
        } else if (argument == QStringLiteral("--headless")) {
            options.headless = true;
        } else if (argument == QStringLiteral("--host-mode")) {
            options.hostMode = true;
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            options.help = true;
        } else if (argument == QStringLiteral("--version")) {
            options.version = true;
        } else if (takeValue(arguments, i, QStringLiteral("--listen-address"), value,
                             options.error)) {
            options.listenAddress = hostAddress(value);
            if (options.error.isEmpty() && options.listenAddress.isNull()) {
                options.error =
                    QStringLiteral("--listen-address: \"%1\" is not an IP address").arg(value);
            }
        } else if (takeValue(arguments, i, QStringLiteral("--engine-host"), value, options.error)) {
            options.engineHost = value;
            if (options.error.isEmpty() && value.isEmpty()) {
                options.error = QStringLiteral("--engine-host needs a host name or address");
            }
        } else if (takeValue(arguments, i, QStringLiteral("--log-file"), value, options.error)) {
            options.logFile = value;
            if (options.error.isEmpty() && value.isEmpty()) {
                options.error = QStringLiteral("--log-file needs a file name");
            }
        } else if (takeWireOption(arguments, i, options.clientWire, options.error)) {
            // the client's wire: --serial and its settings, --pty
        } else if (argument.startsWith(QStringLiteral("--"))) {
            options.error = QStringLiteral("unknown option %1").arg(argument);
        } else {
            break;
        }
    }
    if (options.error.isEmpty()) {
        // The fields are bytes as the shell gave them, like the original command-line text.
        options.commandLine = arguments.sliced(i).join(u' ').toLocal8Bit();
    }
    return options;
}

#ifdef Q_OS_LINUX
constexpr QLatin1StringView
    kPtyUsage("  --pty PATH              serve the KAM on a new pseudo-terminal instead of TCP,\n"
              "                          PATH a link to it, for programs that open serial ports\n");
#else
constexpr QLatin1StringView kPtyUsage;
#endif

QString usageText() {
    return QStringLiteral(
               "Usage: varnel [OPTIONS] "
               "[MYCALL[,RADIOPORT[,ACCEPTANY[,ENGINEPORT[,LISTENPORT]]]]]\n"
               "\n"
               "A Kantronics KAM in host mode for a radio mail client, on TCP or a serial line,\n"
               "working through an AGW packet engine such as Dire Wolf.\n"
               "\n"
               "Fields (comma-separated, blanks around them ignored):\n"
               "  MYCALL      own callsign, registered with the engine (default: none)\n"
               "  RADIOPORT   engine radio port for outgoing links, counted from 1 (default 1)\n"
               "  ACCEPTANY   True: accept incoming links on any radio port; False: only on\n"
               "              RADIOPORT (default True)\n"
               "  ENGINEPORT  TCP port of the engine's AGW interface (default 8000)\n"
               "  LISTENPORT  TCP port on which the mail client connects, unless --serial or\n"
               "              --pty is given (default 8100)\n"
               "\n"
               "Options (before the fields; one with a value also takes --option=VALUE):\n"
               "  --headless              no window; the event log goes to standard output\n"
               "  --host-mode             start in KAM host mode, as a KAM set to INTFACE HOST\n"
               "                          and PERM does, for clients that never use terminal mode\n"
               "  --listen-address ADDR   address the client port listens on (default 127.0.0.1).\n"
               "                          Anyone who reaches the port can transmit under your\n"
               "                          callsign: open it to other machines only on purpose.\n"
               "  --serial DEVICE[:BAUD]  serve the KAM on a serial port instead of TCP, e.g.\n"
               "                          /dev/ttyUSB0 or COM3:38400 (9600 baud unless given)\n"
               "  --serial-format FORMAT  data bits, parity (N, E, O, M, S), stop bits (default "
               "8N1)\n"
               "  --serial-flow FLOW      none, rtscts or xonxoff (default none)\n"
               "%1"
               "  --engine-host HOST      host of the packet engine (default 127.0.0.1)\n"
               "  --log-file PATH         also append every log line to PATH, with its date and\n"
               "                          time; past 10 MiB it becomes PATH.1 and PATH starts "
               "anew\n"
               "  -h, --help              this text\n"
               "  --version               the program's version\n")
        .arg(kPtyUsage);
}
