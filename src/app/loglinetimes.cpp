#include "app/loglinetimes.h"

#include <QDateTime>

namespace {

constexpr QByteArrayView kLineEnd = "\r\n";
constexpr qint64 kUnknownTime = -1;
constexpr qsizetype kStampWidth = 9; // "HH:MM:SS "

// Calls visit(line, ended) for each line of text ended by CR LF, then for any text after them.
template <typename Visit> void forEachLine(QByteArrayView text, Visit visit) {
    qsizetype start = 0;
    for (qsizetype end; (end = text.indexOf(kLineEnd, start)) >= 0; start = end + kLineEnd.size()) {
        visit(text.sliced(start, end - start), true);
    }
    if (start < text.size()) {
        visit(text.sliced(start), false);
    }
}

} // namespace

QString LogLineTimes::stamp(qint64 secsSinceEpoch) {
    if (secsSinceEpoch == kUnknownTime) {
        return QString(kStampWidth, u' ');
    }
    // A flood logs thousands of lines within one second: each second is formatted once.
    if (secsSinceEpoch != stampTime_) {
        stampTime_ = secsSinceEpoch;
        stampText_ =
            QDateTime::fromSecsSinceEpoch(secsSinceEpoch).toString(QStringLiteral("HH:mm:ss "));
    }
    return stampText_;
}

QString LogLineTimes::paragraph(QByteArrayView line, qint64 secsSinceEpoch) {
    // One character per byte, as everywhere the log is shown.
    return stamp(secsSinceEpoch) + QString::fromLatin1(line) + u'\n';
}

QString LogLineTimes::appended(const QByteArray &text, qint64 secsSinceEpoch) {
    QString shown;
    forEachLine(text, [&](QByteArrayView line, bool ended) {
        shown += paragraph(line, secsSinceEpoch);
        // Only lines ended by CR LF are counted, as a cut counts them.
        if (ended) {
            lineTimes_.append(secsSinceEpoch);
        }
    });
    return shown;
}

QString LogLineTimes::cut(const QByteArray &remainingText) {
    // The text kept is the log's tail, so its lines are the last ones logged; the first of them
    // may be the end of a longer line, and has that line's time.
    const qsizetype lines = remainingText.count(kLineEnd);
    if (lineTimes_.size() > lines) {
        lineTimes_.remove(0, lineTimes_.size() - lines);
    } else {
        lineTimes_.insert(0, lines - lineTimes_.size(), kUnknownTime);
    }
    QString shown;
    qsizetype line = 0;
    forEachLine(remainingText, [&](QByteArrayView text, bool ended) {
        shown += paragraph(text, ended ? lineTimes_[line++] : kUnknownTime);
    });
    return shown;
}
