// Checks on a window for the tests of the main window: labels and boxes that do not fit their
// text, and the window's log without the time in front of each line.
#pragma once

#include <algorithm>

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionFrame>
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

// Boxes that cut off some of their text, by name; empty when none does. A box fits when a line
// of its font does in the room its style leaves inside the frame, and the ink of its text does
// across, clear of the blank a line edit keeps either side.
inline QStringList cutBoxes(const QWidget &window) {
    constexpr int kTextSideMargin = 2;
    QStringList cut;
    for (const QLineEdit *box : window.findChildren<QLineEdit *>()) {
        QStyleOptionFrame option;
        option.initFrom(box);
        option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
        const QRect room = box->style()
                               ->subElementRect(QStyle::SE_LineEditContents, &option, box)
                               .marginsRemoved(box->textMargins());
        const QFontMetrics metrics = box->fontMetrics();
        const bool fits =
            metrics.height() <= room.height() &&
            metrics.tightBoundingRect(box->text()).right() < room.width() - 2 * kTextSideMargin;
        if (!fits) {
            cut << box->objectName();
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
