#include "app/statusstrip.h"

#include <QGridLayout>

namespace {

// Room for the longest problem, a listen port that cannot be used with the system's reason.
constexpr int kProblemLines = 2;
// Room for the links a station usually carries at once; past it the last line counts the rest.
constexpr int kLinkLines = 4;

// The first links, one a line, and how many more there are when they do not all fit.
QByteArray shownLinks(const QByteArray &links) {
    const QByteArrayList lines = links.split('\n');
    if (lines.size() <= kLinkLines) {
        return links;
    }
    return lines.first(kLinkLines - 1).join('\n') + "\nand " +
           QByteArray::number(lines.size() - (kLinkLines - 1)) + " more";
}

void showValue(QLabel *label, const QByteArray &text) {
    const QString shown = QString::fromLatin1(text);
    label->setText(shown);
    // A value wider than the strip (a long IPv6 address) can still be read in full.
    label->setToolTip(shown);
}

} // namespace

StatusStrip::StatusStrip(QWidget *parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 3, 6, 3);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(1);
    grid->setColumnStretch(1, 1);
    auto row = [this, grid](const char *name, const char *caption) {
        const int at = grid->rowCount();
        grid->addWidget(new QLabel(QString::fromLatin1(caption), this), at, 0,
                        Qt::AlignLeft | Qt::AlignTop);
        auto *value = new QLabel(this);
        value->setObjectName(QString::fromLatin1(name));
        value->setTextFormat(Qt::PlainText);
        grid->addWidget(value, at, 1);
        return value;
    };
    engine_ = row("engineStatus", "Engine:");
    client_ = row("clientStatus", "Client:");
    links_ = row("linkStatus", "Links:");
    data_ = row("dataStatus", "Data:");
    links_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    links_->setMinimumHeight(kLinkLines * links_->fontMetrics().lineSpacing());
    problem_ = row("problemStatus", "Problem:");
    problem_->setWordWrap(true);
    problem_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    problem_->setMinimumHeight(kProblemLines * problem_->fontMetrics().lineSpacing());
    showStatus(StationStatus());
}

void StatusStrip::showStatus(const StationStatus &status) {
    showValue(engine_, status.engine);
    showValue(client_, status.client);
    showValue(links_, shownLinks(status.links));
    showValue(data_, status.data);
    // The words say it; the colour only draws the eye.
    const bool trouble = !status.problem.isEmpty();
    showValue(problem_, trouble ? status.problem : QByteArray("none"));
    problem_->setStyleSheet(trouble ? QStringLiteral("color: #b00000; font-weight: bold;")
                                    : QString());
}
