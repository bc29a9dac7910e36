// Checks on a window for the tests of the main window: labels that do not fit their text, and
// the window's log without the time in front of each line.
#pragma once

#include <algorithm>

#include <QLabel>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QtGlobal>

// Labels that cut off some of their text, by name or else by text; empty when none does. A
// label fits when the ink of each of its lines does, one that wraps when its lines do.
inline QStringList cutLabels(const QWidget &window) {
    QStringList cut;
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        const QFontMetrics metrics = label->fontMetrics();
        const QStringList lines = label->text().split(u'\n');
        const bool linesFit = std::all_of(lines.begin(), lines.end(), [&](const QString &line) {
            return metrics.tightBoundingRect(line).right() < label->width();
        });
        const bool fits =
            label->wordWrap()
                ? label->heightForWidth(label->width()) <= label->height()
                : linesFit && metrics.height() + (lines.size() - 1) * metrics.lineSpacing() <=
                                  label->height();
        if (!fits) {
            cut << (label->objectName().isEmpty() ? label->text() : label->objectName());
        }
    }
    return cut;
}

// The log's lines without their "HH:MM:SS " times; a line without one keeps its text whole.
inline QString withoutTimes(const QString &log) {
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d "),
                                          QRegularExpression::MultilineOption);
    QString bare = log;
    return bare.remove(stamp);
}
