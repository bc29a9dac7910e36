#include "app/helpwindow.h"

#include <QDir>
#include <QFile>

namespace {

constexpr char kHelpFileName[] = "readme.txt";

// 4680 by 3195 twips at 15 twips a pixel.
constexpr QSize kInitialClientSize(312, 213);

} // namespace

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Varnel Help"));
    helptxt = new QPlainTextEdit(this);
    helptxt->setObjectName(QStringLiteral("helptxt"));
    helptxt->setReadOnly(true);
    helptxt->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    helptxt->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    helptxt->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    resize(kInitialClientSize);
    Form_Load();
}

void HelpWindow::Form_Load() {
    QFile file(QString::fromLatin1(kHelpFileName));
    if (!file.open(QIODevice::ReadOnly)) {
        helptxt->setPlainText(QStringLiteral("The help file %1 could not be read from the folder "
                                             "%2: %3.")
                                  .arg(QString::fromLatin1(kHelpFileName),
                                       QDir::toNativeSeparators(QDir::currentPath()),
                                       file.errorString()));
        return;
    }
    // One character per byte; CR LF and lone CR end lines as LF does.
    QString text = QString::fromLatin1(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    helptxt->setPlainText(text);
}

void HelpWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    helptxt->setGeometry(rect());
}
