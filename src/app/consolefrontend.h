// The headless front end: every log line goes to standard output as it is logged, so that a
// person or a service manager sees it; a fatal error goes to standard error and is signalled,
// for the program to shut down and end with a non-zero status.
#pragma once

#include "bridge/frontend.h"

#include <QObject>

class ConsoleFrontEnd : public QObject, public FrontEnd {
    Q_OBJECT
public:
    void setBoxText(Box box, const QByteArray &text) override;
    void logAppended(const QByteArray &line) override;
    void logCut(const QByteArray &remainingText) override;
    void fatalError(const QByteArray &message) override;

signals:
    void failed();
};

// Log text as a terminal shows it: each 8-bit character as the UTF-8 of its code point.
QByteArray latin1ToUtf8(const QByteArray &text);
