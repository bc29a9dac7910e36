// A front end for tests: remembers what the bridge showed, logged and reported.
#pragma once

#include "bridge/frontend.h"

#include <QByteArray>
#include <QList>
#include <QMap>

class RecorderFrontEnd : public FrontEnd {
public:
    void setBoxText(Box box, const QByteArray &text) override { boxes[box] = text; }
    void logAppended(const QByteArray &line) override { lines.append(line.chopped(2)); }
    void logCut(const QByteArray &remainingText) override { cuts.append(remainingText); }
    void fatalError(const QByteArray &message) override { fatalErrors.append(message); }
    void showStatus(const StationStatus &status) override { statuses.append(status); }

    QMap<Box, QByteArray> boxes;
    QList<QByteArray> lines; // each logged text, without its CR LF
    QList<QByteArray> cuts;
    QList<QByteArray> fatalErrors;
    QList<StationStatus> statuses;
};

// A front end that shows nothing, for runs where only the bridge's own state is looked at.
class SilentFrontEnd : public FrontEnd {
public:
    void setBoxText(Box, const QByteArray &) override {}
    void logAppended(const QByteArray &) override {}
    void logCut(const QByteArray &) override {}
    void fatalError(const QByteArray &) override {}
};
