// The main window under a real X server: captions, places, tab order, the captions and boxes in
// fonts that need more room than drawn, the log view with its times, and the status strip.
#include "app/mainwindow.h"
#include "support/windowchecks.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void controlsSitWhereTheLayoutPutsThem_data();
    void controlsSitWhereTheLayoutPutsThem();
    void captionsAndBoxesReadInAnyFont_data();
    void captionsAndBoxesReadInAnyFont();
    void windowAndMenu();
    void iconComesInTheDesktopSizes();
    void resizingMovesNothing();
    void tabOrderRunsThroughTheBoxes();
    void logLinesLandAtTheEndWhateverIsSelected();
    void steadyLinesAreShownWhileTheyKeepComing();
    void boxesShowTheirText();
    void logLinesShowTheTimeTheyWereLogged();
    void statusStripFitsItsLongestTexts();

private:
    MainWindow window_;
};

void MainWindowTest::controlsSitWhereTheLayoutPutsThem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("log") << "viewOutput" << QString() << QRect(8, 8, 457, 177);
    QTest::newRow("mycall label") << "staticmycall"
                                  << "MyCall:" << QRect(8, 200, 41, 17);
    QTest::newRow("mycall box") << "MyCallbox" << QString() << QRect(48, 200, 81, 19);
    QTest::newRow("port label") << "staticport"
                                << "AGW Port:" << QRect(184, 200, 57, 17);
    QTest::newRow("port box") << "AGWport" << QString() << QRect(240, 200, 25, 19);
    QTest::newRow("accept label") << "AGWall"
                                  << "Accept:" << QRect(328, 200, 41, 17);
    QTest::newRow("accept box") << "anybox" << QString() << QRect(376, 200, 33, 19);
}

void MainWindowTest::controlsSitWhereTheLayoutPutsThem() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    auto *control = window_.findChild<QWidget *>(name);
    QVERIFY(control);
    QTEST(control->geometry(), "geometry");
    if (auto *label = qobject_cast<QLabel *>(control)) {
        QCOMPARE(label->text(), caption);
    }
}

void MainWindowTest::captionsAndBoxesReadInAnyFont_data() {
    QTest::addColumn<QString>("fontSize");
    QTest::newRow("a larger font") << "12pt";
    QTest::newRow("twice the font") << "16pt";
}

void MainWindowTest::captionsAndBoxesReadInAnyFont() {
    QFETCH(QString, fontSize);
    const QStringList rowNames = {"staticmycall", "MyCallbox", "staticport",
                                  "AGWport",      "AGWall",    "anybox"};
    // The window takes the style sheet from its owner as it is made, as from the platform.
    QWidget platform;
    platform.setStyleSheet("#" + rowNames.join(", #") + " { font-size: " + fontSize + "; }");
    auto *window = new MainWindow(&platform);
    window->setBoxText(FrontEnd::Box::MyCall, "WB0ABC-15");
    window->setBoxText(FrontEnd::Box::AgwPort, " 1");
    window->setBoxText(FrontEnd::Box::AnyBox, "ANY");
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE((cutLabels(*window) + cutBoxes(*window)).join(u','), QString());

    // Each in the row right of the one before, the strip below them, all inside the window.
    QRect before;
    for (const QString &name : rowNames) {
        const QRect place = window->findChild<QWidget *>(name)->geometry();
        QVERIFY2(before.isNull() || place.left() >= before.right(), qPrintable(name));
        before = place;
    }
    const QRect strip = window->findChild<QWidget *>(QStringLiteral("statusStrip"))->geometry();
    QVERIFY(strip.top() > before.bottom());
    QVERIFY(window->centralWidget()->rect().contains(before));
}

void MainWindowTest::windowAndMenu() {
    window_.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window_));
    QCOMPARE(window_.windowTitle(), QStringLiteral("Varnel 1.6"));
    // The strip's height follows the font; it sits below the boxes.
    QCOMPARE(window_.centralWidget()->width(), 474);
    const auto *strip = window_.findChild<QWidget *>(QStringLiteral("statusStrip"));
    QCOMPARE(strip->geometry().top(), 225);
    QCOMPARE(window_.centralWidget()->height(), strip->geometry().bottom() + 1 + 8);
    const QList<QAction *> entries = window_.menuBar()->actions();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0]->text(), QStringLiteral("Help"));
    QCOMPARE(entries[1]->text(), QStringLiteral("About"));
    QVERIFY(!entries[0]->menu() && !entries[1]->menu()); // they act when clicked

    auto *log = window_.findChild<QPlainTextEdit *>(QStringLiteral("viewOutput"));
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    const QFontMetrics metrics(log->font());
    QCOMPARE(metrics.horizontalAdvance(u'i'), metrics.horizontalAdvance(u'M')); // fixed pitch
    QCOMPARE(log->font().pointSize(), 9);
}

void MainWindowTest::iconComesInTheDesktopSizes() {
    const QList<QSize> sizes = programIcon().availableSizes();
    for (int side : {16, 32, 48, 256}) {
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    }
}

void MainWindowTest::resizingMovesNothing() {
    auto *box = window_.findChild<QWidget *>(QStringLiteral("anybox"));
    const QRect before = box->geometry();
    window_.resize(900, 700);
    QTest::qWait(20);
    QCOMPARE(box->geometry(), before);
    window_.resize(200, 100);
    QTest::qWait(20);
    QCOMPARE(box->geometry(), before);
}

void MainWindowTest::tabOrderRunsThroughTheBoxes() {
    QStringList order;
    QWidget *w = window_.findChild<QWidget *>(QStringLiteral("viewOutput"));
    for (int i = 0; i < 4; ++i) {
        order << w->objectName();
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || !w->isEnabled() ||
               !qobject_cast<QAbstractScrollArea *>(w) && !qobject_cast<QLineEdit *>(w)) {
            w = w->nextInFocusChain();
        }
    }
    QCOMPARE(order, (QStringList{"viewOutput", "MyCallbox", "AGWport", "anybox"}));
}

void MainWindowTest::logLinesLandAtTheEndWhateverIsSelected() {
    auto *log = window_.findChild<QPlainTextEdit *>(QStringLiteral("viewOutput"));
    window_.logAppended("first line\r\n");
    window_.logAppended("second\r\n");
    QTRY_COMPARE(withoutTimes(log->toPlainText()), QStringLiteral("first line\nsecond"));
    QTextCursor selection = log->textCursor();
    selection.setPosition(0);
    selection.setPosition(5, QTextCursor::KeepAnchor);
    log->setTextCursor(selection);
    window_.logAppended(QByteArray("third \xE9\r\n"));
    QTRY_COMPARE(withoutTimes(log->toPlainText()),
                 QStringLiteral("first line\nsecond\nthird \u00E9"));
    QVERIFY(!log->textCursor().hasSelection());
    QCOMPARE(log->textCursor().position(), log->document()->characterCount() - 1);

    // Lines and cuts between two refreshes: the box ends as the log does.
    window_.logAppended("lost\r\n");
    window_.logCut("ond\r\n");
    window_.logAppended("fourth\r\n");
    window_.logAppended("\r\n");
    window_.logAppended("fifth\r\n");
    QTRY_COMPARE(withoutTimes(log->toPlainText()), QStringLiteral("ond\nfourth\n\nfifth"));
    window_.logCut("");
    QTRY_COMPARE(withoutTimes(log->toPlainText()), QString());
}

void MainWindowTest::steadyLinesAreShownWhileTheyKeepComing() {
    // A line every few milliseconds, for longer than a refresh takes to come round: the first
    // lines show while later ones are still being logged.
    auto *log = window_.findChild<QPlainTextEdit *>(QStringLiteral("viewOutput"));
    window_.logCut("");
    QElapsedTimer logging;
    logging.start();
    int lines = 0;
    while (logging.elapsed() < 1000 && log->toPlainText().isEmpty()) {
        window_.logAppended("line\r\n");
        ++lines;
        QTest::qWait(5);
    }
    QVERIFY2(!log->toPlainText().isEmpty(),
             QByteArray::number(lines) + " lines logged, none shown");
}

void MainWindowTest::boxesShowTheirText() {
    window_.setBoxText(FrontEnd::Box::MyCall, "N0CALL");
    window_.setBoxText(FrontEnd::Box::AgwPort, " 1");
    window_.setBoxText(FrontEnd::Box::AnyBox, "ANY");
    QCOMPARE(window_.findChild<QLineEdit *>(QStringLiteral("MyCallbox"))->text(), "N0CALL");
    QCOMPARE(window_.findChild<QLineEdit *>(QStringLiteral("AGWport"))->text(), " 1");
    QCOMPARE(window_.findChild<QLineEdit *>(QStringLiteral("anybox"))->text(), "ANY");
}

void MainWindowTest::logLinesShowTheTimeTheyWereLogged() {
    auto *log = window_.findChild<QPlainTextEdit *>(QStringLiteral("viewOutput"));
    window_.logCut("");
    const QString before = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss "));
    window_.logAppended("one\r\n");
    window_.logAppended("two\r\nand a half\r\n");
    const QString after = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss "));
    QTRY_COMPARE(withoutTimes(log->toPlainText()), QStringLiteral("one\ntwo\nand a half"));
    const QStringList lines = log->toPlainText().split(u'\n');
    for (const QString &line : lines) {
        QVERIFY2(line.startsWith(before) || line.startsWith(after), qPrintable(line));
    }

    // A cut keeps the times of the lines it keeps; its first line may be the end of one.
    window_.logCut("lf\r\n");
    const QString beforeThree = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss "));
    window_.logAppended("three\r\n");
    const QString afterThree = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss "));
    QTRY_COMPARE(withoutTimes(log->toPlainText()), QStringLiteral("lf\nthree"));
    const QStringList kept = log->toPlainText().split(u'\n');
    QCOMPARE(kept[0], lines[2].left(9) + "lf");
    QVERIFY2(kept[1].startsWith(beforeThree) || kept[1].startsWith(afterThree),
             qPrintable(kept[1]));
}

void MainWindowTest::statusStripFitsItsLongestTexts() {
    StationStatus longest;
    longest.engine = "NOT REACHABLE at 127.0.0.1:65535, trying again";
    longest.client = "connected from 192.168.100.200:65535, terminal mode";
    const QByteArray link = "Z/H WB2OSZ-15 connected, incoming, 123456 bytes waiting";
    longest.links = QByteArrayList(52, link).join('\n');
    longest.data = "1234567 bytes waiting to be delivered, FREE BYTES 10240";
    longest.problem = "ERROR cannot listen on 192.168.100.200 port 65535: The address is "
                      "protected; the packet engine is not reachable";
    window_.showStatus(longest);
    QCOMPARE(cutLabels(window_).join(u','), QString());
    const auto *problem = window_.findChild<QLabel *>(QStringLiteral("problemStatus"));
    QCOMPARE(problem->text(), QString::fromLatin1(longest.problem));

    window_.showStatus(StationStatus());
    QCOMPARE(problem->text(), QStringLiteral("none"));
}

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
