// The window's log shows the local time in front of each line, while the bridge's log text, its
// cut and the headless output keep the lines as they are. So the window keeps the time of each
// line the bridge's log holds (one per CR LF) and, after a cut, gives the lines kept theirs.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class LogLineTimes {
public:
    // The logged text as the window shows it, stamped with the time given: a paragraph, ended
    // by LF, per line.
    QString appended(const QByteArray &text, qint64 secsSinceEpoch);
    // The log's text after a cut, its lines with the times they were logged at.
    QString cut(const QByteArray &remainingText);

private:
    // "HH:MM:SS " in local time; blanks as wide for a line whose time is not known.
    QString stamp(qint64 secsSinceEpoch);
    QString paragraph(QByteArrayView line, qint64 secsSinceEpoch);

    // Bounded by the bridge's log, which holds a few thousand lines at most.
    QList<qint64> lineTimes_;
    qint64 stampTime_ = -1;
    QString stampText_;
};
