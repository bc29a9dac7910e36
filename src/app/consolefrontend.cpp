#include "app/consolefrontend.h"

#include <QString>

#include <cstdio>

QByteArray latin1ToUtf8(const QByteArray &text) {
    return QString::fromLatin1(text).toUtf8();
}

void ConsoleFrontEnd::setBoxText(Box, const QByteArray &) {
    // The boxes' contents are in the log already (callsign, port, filter): nothing to show.
}

void ConsoleFrontEnd::logAppended(const QByteArray &line) {
    QByteArray text = line;
    if (text.endsWith("\r\n")) {
        text.chop(2);
    }
    const QByteArray out = latin1ToUtf8(text) + '\n';
    std::fwrite(out.constData(), 1, out.size(), stdout);
    std::fflush(stdout);
}

void ConsoleFrontEnd::logCut(const QByteArray &) {
    // Standard output keeps every line; only the in-memory log is bounded.
}

void ConsoleFrontEnd::fatalError(const QByteArray &message) {
    const QByteArray out = "varnel: " + latin1ToUtf8(message) + '\n';
    std::fwrite(out.constData(), 1, out.size(), stderr);
    std::fflush(stderr);
    emit failed();
}
