#include "app/statusstrip.h"

#include <QGridLayout>

namespace {

// Room for the longest problem, a listen port that cannot be used with the system's reason.
constexpr int kProblemLines = 2;

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
    link_ = row("linkStatus", "Link:");
    data_ = row("dataStatus", "Data:");
    problem_ = row("problemStatus", "Problem:");
    problem_->setWordWrap(true);
    problem_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    problem_->setMinimumHeight(kProblemLines * problem_->fontMetrics().lineSpacing());
    showStatus(StationStatus());
}

void StatusStrip::showStatus(const StationStatus &status) {
    showValue(engine_, status.engine);
    showValue(client_, status.client);
    showValue(link_, status.link);
    showValue(data_, status.data);
    // The words say it; the colour only draws the eye.
    const bool trouble = !status.problem.isEmpty();
    showValue(problem_, trouble ? status.problem : QByteArray("none"));
    problem_->setStyleSheet(trouble ? QStringLiteral("color: #b00000; font-weight: bold;")
                                    : QString());
}
