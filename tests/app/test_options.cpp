// The program's own options, read before the fields of the command line.
#include "app/options.h"

#include <QTest>

class ProgramOptionsTest : public QObject {
    Q_OBJECT
private slots:
    void programOptions_data();
    void programOptions();
    void logFile_data();
    void logFile();
    void hostModeOption();
    void clientWire_data();
    void clientWire();
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

void ProgramOptionsTest::logFile_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("logFile");
    QTest::addColumn<bool>("error");
    QTest::newRow("none") << QStringList{"N0CALL"} << QString() << false;
    QTest::newRow("separate value") << QStringList{"--log-file", "/var/log/varnel.log", "N0CALL"}
                                    << QStringLiteral("/var/log/varnel.log") << false;
    QTest::newRow("joined value") << QStringList{"--log-file=C:\\Varnel\\varnel.log"}
                                  << QStringLiteral("C:\\Varnel\\varnel.log") << false;
    QTest::newRow("missing value") << QStringList{"--log-file"} << QString() << true;
    QTest::newRow("empty value") << QStringList{"--log-file="} << QString() << true;
}

void ProgramOptionsTest::logFile() {
    QFETCH(QStringList, arguments);
    const ProgramOptions options = parseProgramOptions(arguments);
    QTEST(!options.error.isEmpty(), "error");
    QTEST(options.logFile, "logFile");
}

void ProgramOptionsTest::hostModeOption() {
    QVERIFY(!parseProgramOptions({"N0CALL"}).hostMode);
    const ProgramOptions options = parseProgramOptions({"--host-mode", "N0CALL"});
    QVERIFY(options.hostMode);
    QCOMPARE(options.commandLine, QByteArray("N0CALL"));
}

void ProgramOptionsTest::clientWire_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("kind"); // ClientWire::Kind; -1: the options are refused
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("line"); // the serial line's settings as the status shows them

    const int tcp = int(ClientWire::Kind::Tcp);
    const int serial = int(ClientWire::Kind::Serial);
    const QByteArray kamDefaults = "9600 8N1";
    QTest::newRow("TCP unless told") << QStringList{"N0CALL"} << tcp << QString() << kamDefaults;
    QTest::newRow("serial at a KAM's defaults")
        << QStringList{"--serial", "/dev/ttyUSB0"} << serial << "/dev/ttyUSB0" << kamDefaults;
    QTest::newRow("serial with its speed")
        << QStringList{"--serial=COM3:38400"} << serial << "COM3" << QByteArray("38400 8N1");
    QTest::newRow("colons in the device's name")
        << QStringList{"--serial", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0:4800"}
        << serial << "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"
        << QByteArray("4800 8N1");
    QTest::newRow("format and flow")
        << QStringList{"--serial-format", "7e2", "--serial-flow", "RTSCTS", "--serial", "COM1"}
        << serial << "COM1" << QByteArray("9600 7E2 RTS/CTS");
    QTest::newRow("speed of nothing")
        << QStringList{"--serial", "COM3:0"} << -1 << QString() << kamDefaults;
    QTest::newRow("no device") << QStringList{"--serial", ":9600"} << -1 << QString()
                               << kamDefaults;
    QTest::newRow("nine data bits")
        << QStringList{"--serial-format", "9N1"} << -1 << QString() << kamDefaults;
    QTest::newRow("unknown flow") << QStringList{"--serial-flow", "dtr"} << -1 << QString()
                                  << kamDefaults;
#ifdef Q_OS_LINUX
    QTest::newRow("pseudo-terminal")
        << QStringList{"--pty", "/run/varnel/kam", "N0CALL"} << int(ClientWire::Kind::Pty)
        << "/run/varnel/kam" << kamDefaults;
    QTest::newRow("pseudo-terminal without a path")
        << QStringList{"--pty="} << -1 << QString() << kamDefaults;
#endif
}

void ProgramOptionsTest::clientWire() {
    QFETCH(QStringList, arguments);
    QFETCH(int, kind);
    const ProgramOptions options = parseProgramOptions(arguments);
    QCOMPARE(options.error.isEmpty(), kind >= 0);
    if (kind < 0) {
        return;
    }
    QCOMPARE(int(options.clientWire.kind), kind);
    QTEST(options.clientWire.device, "device");
    QTEST(options.clientWire.serial.text(), "line");
}

QTEST_GUILESS_MAIN(ProgramOptionsTest)
#include "test_options.moc"
