#include "app/helpwindow.h"

#include <QCoreApplication>
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
    // Next to the program first: Windows starts it from Explorer or a shortcut in any folder.
    // Then the working directory, where tools/run and the desktop entry start it on Linux.
    const QString programFolder = QCoreApplication::applicationDirPath();
    QFile file;
    for (const QString &folder : {programFolder, QDir::currentPath()}) {
        file.setFileName(QDir(folder).filePath(QString::fromLatin1(kHelpFileName)));
        if (file.open(QIODevice::ReadOnly)) {
            break;
        }
    }
    if (!file.isOpen()) {
        helptxt->setPlainText(
            QStringLiteral("The help file %1 could not be read from the "
                           "program's folder %2 nor from the folder %3: %4.")
                .arg(QString::fromLatin1(kHelpFileName), QDir::toNativeSeparators(programFolder),
                     QDir::toNativeSeparators(QDir::currentPath()), file.errorString()));
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
