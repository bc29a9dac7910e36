// The program's own options. They come before the command-line fields and are removed from
// them; what remains, joined with single blanks, is the field text of the KAM bridge.
#pragma once

#include "client/clientwire.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>

struct ProgramOptions {
    bool headless = false;
    bool hostMode = false; // start in host mode
    bool help = false;
    bool version = false;
    QHostAddress listenAddress = QHostAddress::LocalHost;
    QString engineHost = QStringLiteral("127.0.0.1");
    QString logFile; // empty: no log file
    ClientWire clientWire;
    QByteArray commandLine;
    QString error; // set when the arguments cannot be used
};

// arguments: without the program's name.
ProgramOptions parseProgramOptions(const QStringList &arguments);

QString usageText();
