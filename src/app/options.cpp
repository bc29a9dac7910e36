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

QString usageText() {
    return QStringLiteral(
        "Usage: varnel [OPTIONS] [MYCALL[,RADIOPORT[,ACCEPTANY[,ENGINEPORT[,LISTENPORT]]]]]\n"
        "\n"
        "A Kantronics KAM in host mode for a radio mail client, on TCP, working through an\n"
        "AGW packet engine such as Dire Wolf.\n"
        "\n"
        "Fields (comma-separated, blanks around them ignored):\n"
        "  MYCALL      own callsign, registered with the engine (default: none)\n"
        "  RADIOPORT   engine radio port for outgoing links, counted from 1 (default 1)\n"
        "  ACCEPTANY   True: accept incoming links on any radio port; False: only on\n"
        "              RADIOPORT (default True)\n"
        "  ENGINEPORT  TCP port of the engine's AGW interface (default 8000)\n"
        "  LISTENPORT  TCP port on which the mail client connects (default 8100)\n"
        "\n"
        "Options (before the fields; one with a value also takes --option=VALUE):\n"
        "  --headless              no window; the event log goes to standard output\n"
        "  --host-mode             start in KAM host mode, as a KAM set to INTFACE HOST\n"
        "                          and PERM does, for clients that never use terminal mode\n"
        "  --listen-address ADDR   address the client port listens on (default 127.0.0.1).\n"
        "                          Anyone who reaches the port can transmit under your\n"
        "                          callsign: open it to other machines only on purpose.\n"
        "  --engine-host HOST      host of the packet engine (default 127.0.0.1)\n"
        "  -h, --help              this text\n"
        "  --version               the program's version\n");
}
