// What the bridge needs from whatever shows it: the main window, the headless console or a
// test recorder. The bridge core never sees a widget; it only calls these hooks.
#pragma once

#include "bridge/stationstatus.h"

#include <QByteArray>

class FrontEnd {
public:
    // The three one-line boxes of the main window.
    enum class Box { MyCall, AgwPort, AnyBox };

    virtual ~FrontEnd() = default;

    // Shows text in a box and repaints it at once.
    virtual void setBoxText(Box box, const QByteArray &text) = 0;

    // A line (with its CR LF) was appended to the event log.
    virtual void logAppended(const QByteArray &line) = 0;

    // The event log was cut to the tail it now holds; a line will be appended next.
    virtual void logCut(const QByteArray &remainingText) = 0;

    // The bridge cannot do its job (listen port unusable, engine port out of range). The message
    // is already in the log; a headless program reports it and exits non-zero, a window stays.
    virtual void fatalError(const QByteArray &message) = 0;

    // The station's status has changed. A front end without a status display ignores it.
    virtual void showStatus(const StationStatus &) {}
};
