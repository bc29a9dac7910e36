// The Help window and the About box.
#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QList<HelpWindow *> helpWindows() {
    QList<HelpWindow *> found;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *help = qobject_cast<HelpWindow *>(w); help && help->isVisible()) {
            found << help;
        }
    }
    return found;
}

QString helpText(HelpWindow *help) {
    return help->findChild<QPlainTextEdit *>(QStringLiteral("helptxt"))->toPlainText();
}

} // namespace

class HelpAboutTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void helpShowsReadmeAndOpensOnce();
    void helpPrefersTheReadmeNextToTheProgram();
    void helpExplainsAMissingReadme();
    void helpTextFillsTheWindowAtAnySize();
    void helpOutlivesTheMainWindow();
    void aboutShowsThreeLines();

private:
    QTemporaryDir folder_;
    QString previousFolder_;
};

void HelpAboutTest::init() {
    previousFolder_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder_.path()));
}

void HelpAboutTest::cleanup() {
    for (HelpWindow *help : helpWindows()) {
        help->close();
    }
    QFile::remove(folder_.filePath(QStringLiteral("readme.txt")));
    QDir::setCurrent(previousFolder_);
}

void HelpAboutTest::helpShowsReadmeAndOpensOnce() {
    QFile readme(folder_.filePath(QStringLiteral("readme.txt")));
    QVERIFY(readme.open(QIODevice::WriteOnly));
    readme.write("first line\r\nsecond line \xB0\r\n");
    readme.close();

    MainWindow window;
    window.helpfile_Click();
    QCOMPARE(helpWindows().size(), 1);
    HelpWindow *help = helpWindows().first();
    QCOMPARE(help->windowTitle(), QStringLiteral("Varnel Help"));
    QCOMPARE(helpText(help), QStringLiteral("first line\nsecond line \u00B0\n"));
    QVERIFY(help->findChild<QPlainTextEdit *>()->isReadOnly());

    // Open again: the same window, the file not read again.
    QVERIFY(readme.open(QIODevice::WriteOnly));
    readme.write("changed");
    readme.close();
    window.helpfile_Click();
    QCOMPARE(helpWindows(), QList<HelpWindow *>{help});
    QCOMPARE(helpText(help), QStringLiteral("first line\nsecond line \u00B0\n"));

    // Closed and opened again: read afresh.
    QPointer<HelpWindow> closed = help;
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(closed.isNull());
    window.helpfile_Click();
    QCOMPARE(helpText(helpWindows().first()), QStringLiteral("changed"));
}

void HelpAboutTest::helpPrefersTheReadmeNextToTheProgram() {
    // Started from a shortcut or a console elsewhere, a readme.txt there is some other program's.
    QFile other(folder_.filePath(QStringLiteral("readme.txt")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("some other program");
    other.close();
    QFile ours(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("readme.txt")));
    QVERIFY(ours.open(QIODevice::WriteOnly));
    auto removed = qScopeGuard([&] { ours.remove(); });
    ours.write("VARNEL HELP");
    ours.close();

    MainWindow window;
    window.helpfile_Click();
    QCOMPARE(helpText(helpWindows().first()), QStringLiteral("VARNEL HELP"));
}

void HelpAboutTest::helpExplainsAMissingReadme() {
    MainWindow window;
    window.helpfile_Click();
    const QString text = helpText(helpWindows().first());
    QVERIFY2(text.contains(QStringLiteral("readme.txt")), qPrintable(text));
    QVERIFY2(text.contains(QDir::currentPath()), qPrintable(text));
    QVERIFY2(text.contains(QCoreApplication::applicationDirPath()), qPrintable(text));
}

void HelpAboutTest::helpTextFillsTheWindowAtAnySize() {
    MainWindow window;
    window.helpfile_Click();
    HelpWindow *help = helpWindows().first();
    QVERIFY(QTest::qWaitForWindowExposed(help));
    auto *text = help->findChild<QPlainTextEdit *>();
    for (const QSize size : {QSize(312, 213), QSize(640, 480), QSize(120, 90)}) {
        help->resize(size);
        QTRY_COMPARE(text->geometry(), help->rect());
    }
}

void HelpAboutTest::helpOutlivesTheMainWindow() {
    MainWindow window;
    window.show();
    window.helpfile_Click();
    window.close();
    QCOMPARE(helpWindows().size(), 1);
    QVERIFY(helpWindows().first()->isVisible());
}

void HelpAboutTest::aboutShowsThreeLines() {
    const QList<QByteArray> lines = aboutText().split('\r');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith("Varnel 1.6"));
    QCOMPARE(lines[1], QByteArray("Written by the Varnel developers"));
    QVERIFY(!aboutText().contains('\n') && !aboutText().endsWith('\r'));

    MainWindow window;
    window.show();
    QString shownText;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QTimer::singleShot(100, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        shownText = box->text();
        caption = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    window.about_Click();
    QCOMPARE(caption, QStringLiteral("Varnel"));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(shownText.split(u'\n').size(), 3);
}

QTEST_MAIN(HelpAboutTest)
#include "test_helpabout.moc"
