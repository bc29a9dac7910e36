#include "app/drawnrow.h"

#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace {

// The blank a line edit keeps either side of its text, and above it when held at the top (Qt's
// own, not asked of the style).
constexpr int kBoxTextSideMargin = 2;
constexpr int kBoxTextTopMargin = 1;

// A line of the text in the font: as wide as the text's advance or its ink, whichever reaches
// further (a slanted last letter may stand out past the advance).
QSize lineSize(const QFontMetrics &metrics, const QString &text) {
    return {std::max(metrics.horizontalAdvance(text), metrics.tightBoundingRect(text).right() + 1),
            metrics.height()};
}

// The box's frame as its style draws it, at the box's present size.
QStyleOptionFrame frameOption(const QLineEdit &box) {
    QStyleOptionFrame option;
    option.initFrom(&box);
    option.lineWidth = box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &box);
    option.state |= QStyle::State_Sunken;
    return option;
}

// That line in a box, in the frame its style draws.
QSize boxSizeFor(const QLineEdit &box, const QString &widestText) {
    const QStyleOptionFrame option = frameOption(box);
    const QSize line = lineSize(box.fontMetrics(), widestText) + QSize(2 * kBoxTextSideMargin, 0);
    return box.style()->sizeFromContents(QStyle::CT_LineEdit, &option, line, &box);
}

// Qt centres a box's line by the bounding box of its text, which a font engine may report far
// taller than the line (Qt's own under Wine: 46 pixels for a line of 11), and the text then lands
// above the box, out of sight. The line is held at the top instead, as far down as centring it by
// the font's line height puts it.
void centreLineByItsHeight(QLineEdit &box) {
    const QStyleOptionFrame option = frameOption(box);
    const QRect inside = box.style()->subElementRect(QStyle::SE_LineEditContents, &option, &box);
    const int centred = (inside.height() - box.fontMetrics().height() + 1) / 2;
    box.setTextMargins(0, std::max(0, centred - kBoxTextTopMargin), 0, 0);
    box.setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QSize neededSize(const DrawnControl &drawn) {
    // The font a style sheet may give comes with polishing.
    drawn.control->ensurePolished();
    if (const auto *box = qobject_cast<const QLineEdit *>(drawn.control)) {
        return boxSizeFor(*box, drawn.widestText);
    }
    const auto *caption = qobject_cast<const QLabel *>(drawn.control);
    if (!caption) {
        return drawn.drawn.size();
    }
    const QFontMetrics metrics = caption->fontMetrics();
    QSize size = lineSize(metrics, caption->text());
    // Too wide for the drawing: a blank after it, as the drawing leaves one before the box.
    if (size.width() > drawn.drawn.width()) {
        size.rwidth() += metrics.horizontalAdvance(u' ');
    }
    return size;
}

} // namespace

int placeDrawnRow(const QList<DrawnControl> &row) {
    QList<QSize> needed;
    int taller = 0;
    for (const DrawnControl &drawn : row) {
        needed.append(neededSize(drawn));
        taller = std::max(taller, needed.last().height() - drawn.drawn.height());
    }
    int pushed = 0;
    for (qsizetype i = 0; i < row.size(); ++i) {
        const QRect &drawn = row[i].drawn;
        const int width = std::max(drawn.width(), needed[i].width());
        row[i].control->setGeometry(drawn.left() + pushed, drawn.top(), width,
                                    drawn.height() + taller);
        pushed += width - drawn.width();
        if (auto *box = qobject_cast<QLineEdit *>(row[i].control)) {
            centreLineByItsHeight(*box);
        }
    }
    return taller;
}
