// The program's own options, read before the fields of the command line.
#include "app/options.h"

#include <QTest>

class ProgramOptionsTest : public QObject {
    Q_OBJECT
private slots:
    void programOptions_data();
    void programOptions();
    void hostModeOption();
};

void ProgramOptionsTest::programOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("commandLine");
    QTest::addColumn<bool>("headless");
    QTest::addColumn<QString>("listenAddress");
    QTest::addColumn<QString>("engineHost");
    QTest::addColumn<bool>("error");

    const QString local = QStringLiteral("127.0.0.1");
    QTest::newRow("nothing") << QStringList{} << QByteArray() << false << local << local << false;
    QTest::newRow("fields in one argument")
        << QStringList{"N0CALL,2"} << QByteArray("N0CALL,2") << false << local << local << false;
    QTest::newRow("fields split by the shell")
        << QStringList{"N0CALL,", "2", ",false"} << QByteArray("N0CALL, 2 ,false") << false << local
        << local << false;
    QTest::newRow("options before fields")
        << QStringList{"--headless", "--listen-address", "0.0.0.0", "--engine-host=10.1.2.3",
                       "N0CALL"}
        << QByteArray("N0CALL") << true << QStringLiteral("0.0.0.0") << QStringLiteral("10.1.2.3")
        << false;
    QTest::newRow("options end at the first field")
        << QStringList{"N0CALL", "--headless"} << QByteArray("N0CALL --headless") << false << local
        << local << false;
    QTest::newRow("double dash ends options")
        << QStringList{"--", "--x"} << QByteArray("--x") << false << local << local << false;
    QTest::newRow("unknown option")
        << QStringList{"--frobnicate"} << QByteArray() << false << local << local << true;
    QTest::newRow("missing value")
        << QStringList{"--engine-host"} << QByteArray() << false << local << local << true;
    QTest::newRow("bad listen address") << QStringList{"--listen-address", "here"} << QByteArray()
                                        << false << local << local << true;
}

void ProgramOptionsTest::programOptions() {
    QFETCH(QStringList, arguments);
    const ProgramOptions options = parseProgramOptions(arguments);
    QFETCH(bool, error);
    QCOMPARE(!options.error.isEmpty(), error);
    if (error) {
        return;
    }
    QTEST(options.commandLine, "commandLine");
    QTEST(options.headless, "headless");
    QTEST(options.listenAddress.toString(), "listenAddress");
    QTEST(options.engineHost, "engineHost");
}

void ProgramOptionsTest::hostModeOption() {
    QVERIFY(!parseProgramOptions({"N0CALL"}).hostMode);
    const ProgramOptions options = parseProgramOptions({"--host-mode", "N0CALL"});
    QVERIFY(options.hostMode);
    QCOMPARE(options.commandLine, QByteArray("N0CALL"));
}

QTEST_GUILESS_MAIN(ProgramOptionsTest)
#include "test_options.moc"
