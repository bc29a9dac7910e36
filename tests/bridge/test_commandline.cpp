// The command line: field cutting, number and boolean reading, and what start-up shows of the
// result.
#include "bridge/bridge.h"
#include "bridge/numbers.h"
#include "support/fakeengine.h"
#include "support/loopback.h"
#include "support/recorderfrontend.h"

#include <QTcpServer>
#include <QTest>

#include <cmath>
#include <limits>

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void fieldsAreCutAndConverted_data();
    void fieldsAreCutAndConverted();
    void unreadableAcceptFieldKeepsAnyAndSaysSo();
    void longCommandLinesAreCutCorrectly();
    void numberReading_data();
    void numberReading();
    void booleanReading_data();
    void booleanReading();
    void leadingBlankFormat();
    void roundingHalvesToEven();
    void startUpShowsPortAndFilter_data();
    void startUpShowsPortAndFilter();
};

void CommandLineTest::fieldsAreCutAndConverted_data() {
    QTest::addColumn<QByteArray>("commandLine");
    QTest::addColumn<QByteArray>("myCall");
    QTest::addColumn<double>("agwPort");
    QTest::addColumn<bool>("acceptAny");
    QTest::addColumn<double>("enginePort");
    QTest::addColumn<double>("listenPort");
    QTest::addColumn<bool>("tooMany");

    QTest::newRow("no arguments") << QByteArray() << QByteArray() << 1.0 << true << 8000.0 << 8100.0
                                  << false;
    QTest::newRow("call only") << QByteArray("n0call") << QByteArray("N0CALL") << 1.0 << true
                               << 8000.0 << 8100.0 << false;
    QTest::newRow("blanks around fields") << QByteArray("  n0call  ,  2  ") << QByteArray("N0CALL")
                                          << 2.0 << true << 8000.0 << 8100.0 << false;
    QTest::newRow("filter off") << QByteArray("N0CALL,2,false") << QByteArray("N0CALL") << 2.0
                                << false << 8000.0 << 8100.0 << false;
    QTest::newRow("all five") << QByteArray("N0CALL,1,TRUE,8001,8101") << QByteArray("N0CALL")
                              << 1.0 << true << 8001.0 << 8101.0 << false;
    QTest::newRow("empty port field is 0") << QByteArray("N0CALL,,true") << QByteArray("N0CALL")
                                           << 0.0 << true << 8000.0 << 8100.0 << false;
    QTest::newRow("trailing comma") << QByteArray("N0CALL,") << QByteArray("N0CALL") << 0.0 << true
                                    << 8000.0 << 8100.0 << false;
    QTest::newRow("no call") << QByteArray(",3") << QByteArray() << 3.0 << true << 8000.0 << 8100.0
                             << false;
    QTest::newRow("sixth field") << QByteArray("N0CALL,1,true,8000,8100,x") << QByteArray("N0CALL")
                                 << 1.0 << true << 8000.0 << 8100.0 << true;
    QTest::newRow("sixth field empty")
        << QByteArray("N0CALL,1,true,8000,8100,") << QByteArray("N0CALL") << 1.0 << true << 8000.0
        << 8100.0 << true;
    QTest::newRow("fields after five are ignored")
        << QByteArray("A,2,0,3,4,5,6,7") << QByteArray("A") << 2.0 << false << 3.0 << 4.0 << true;
    QTest::newRow("trailing letters") << QByteArray("N0CALL,8000abc") << QByteArray("N0CALL")
                                      << 8000.0 << true << 8000.0 << 8100.0 << false;
    QTest::newRow("no number") << QByteArray("N0CALL,abc") << QByteArray("N0CALL") << 0.0 << true
                               << 8000.0 << 8100.0 << false;
    QTest::newRow("blank inside a number") << QByteArray("N0CALL,1 0") << QByteArray("N0CALL")
                                           << 10.0 << true << 8000.0 << 8100.0 << false;
    QTest::newRow("accept 1") << QByteArray("X,1,1") << QByteArray("X") << 1.0 << true << 8000.0
                              << 8100.0 << false;
    QTest::newRow("accept 0") << QByteArray("X,1,0") << QByteArray("X") << 1.0 << false << 8000.0
                              << 8100.0 << false;
    QTest::newRow("accept mixed case")
        << QByteArray("X,1,fALSe") << QByteArray("X") << 1.0 << false << 8000.0 << 8100.0 << false;
    QTest::newRow("tab is not trimmed from a call")
        << QByteArray("\tn0call ") << QByteArray("\tN0CALL") << 1.0 << true << 8000.0 << 8100.0
        << false;
}

void CommandLineTest::fieldsAreCutAndConverted() {
    QFETCH(QByteArray, commandLine);
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    Bridge bridge(frontEnd, engine, BridgeOptions{});
    BridgeState &s = bridge.state();
    s.agwPort = 1;
    s.acceptAny = true;
    s.enginePort = 8000;
    s.listenPort = 8100;

    bridge.parseCommandLine(commandLine);

    QTEST(s.myCall, "myCall");
    QTEST(s.agwPort, "agwPort");
    QTEST(s.acceptAny, "acceptAny");
    QTEST(s.enginePort, "enginePort");
    QTEST(s.listenPort, "listenPort");
    QFETCH(bool, tooMany);
    const QList<QByteArray> expectedLog =
        tooMany ? QList<QByteArray>{"ERROR too many command line arguments"} : QList<QByteArray>{};
    QCOMPARE(frontEnd.lines, expectedLog);
}

void CommandLineTest::unreadableAcceptFieldKeepsAnyAndSaysSo() {
    for (const QByteArray field : {QByteArray(""), QByteArray("yes"), QByteArray("on")}) {
        RecorderFrontEnd frontEnd;
        FakeEngine engine;
        Bridge bridge(frontEnd, engine, BridgeOptions{});
        bridge.state().acceptAny = true;
        bridge.parseCommandLine("N0CALL,1, " + field + " ,8000");
        QVERIFY(bridge.state().acceptAny);
        QCOMPARE(frontEnd.lines.size(), 1);
        QVERIFY(frontEnd.lines[0].startsWith("ERROR"));
        QVERIFY2(frontEnd.lines[0].contains('"' + field + '"'), frontEnd.lines[0].constData());
        QCOMPARE(bridge.state().enginePort, 8000.0);
    }
}

void CommandLineTest::longCommandLinesAreCutCorrectly() {
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    Bridge bridge(frontEnd, engine, BridgeOptions{});
    const QByteArray longCall(1000, 'a');
    bridge.parseCommandLine(longCall + "," + QByteArray(500, ' ') + "3,false,8002," +
                            QByteArray(300, ' ') + "8102");
    QCOMPARE(bridge.state().myCall, QByteArray(1000, 'A'));
    QCOMPARE(bridge.state().agwPort, 3.0);
    QCOMPARE(bridge.state().acceptAny, false);
    QCOMPARE(bridge.state().enginePort, 8002.0);
    QCOMPARE(bridge.state().listenPort, 8102.0);
    QVERIFY(frontEnd.lines.isEmpty());
}

void CommandLineTest::numberReading_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("hex") << QByteArray("&H1F") << 31.0;
    QTest::newRow("hex lower case") << QByteArray("&hff") << 255.0;
    QTest::newRow("octal") << QByteArray("&O17") << 15.0;
    QTest::newRow("octal stops at 8") << QByteArray("&O178") << 15.0;
    QTest::newRow("D exponent") << QByteArray("1D2") << 100.0;
    QTest::newRow("E exponent") << QByteArray("2.5E-1") << 0.25;
    QTest::newRow("exponent without digits") << QByteArray("7E") << 7.0;
    QTest::newRow("blank inside") << QByteArray("1 0") << 10.0;
    QTest::newRow("tab and line feed inside") << QByteArray("\t8\n0 0 0") << 8000.0;
    QTest::newRow("trailing letters") << QByteArray("8000abc") << 8000.0;
    QTest::newRow("letters only") << QByteArray("abc") << 0.0;
    QTest::newRow("empty") << QByteArray() << 0.0;
    QTest::newRow("negative fraction") << QByteArray("-2.5") << -2.5;
    QTest::newRow("plus sign") << QByteArray("+7") << 7.0;
    QTest::newRow("second full stop ends") << QByteArray("1.2.3") << 1.2;
    QTest::newRow("leading full stop") << QByteArray(".5") << 0.5;
    QTest::newRow("sign alone") << QByteArray("-") << 0.0;
    QTest::newRow("ampersand alone") << QByteArray("&") << 0.0;
    QTest::newRow("hex without digits") << QByteArray("&H") << 0.0;
    // Past the range of a double: too small reads as 0, too large as infinity.
    constexpr double inf = std::numeric_limits<double>::infinity();
    const QByteArray zeros(400, '0');
    QTest::newRow("too small") << QByteArray("1e-400") << 0.0;
    QTest::newRow("too small, negative") << QByteArray("-1D-400") << 0.0;
    QTest::newRow("too small without exponent") << "0." + zeros + "1" << 0.0;
    QTest::newRow("too small, huge exponent") << QByteArray("5e-99999999999999999999") << 0.0;
    QTest::newRow("too large") << QByteArray("1e400") << inf;
    QTest::newRow("too large, negative") << QByteArray("-1e400") << -inf;
    QTest::newRow("too large without exponent") << "1" + zeros << inf;
    QTest::newRow("too large, huge exponent") << QByteArray("5e99999999999999999999") << inf;
    QTest::newRow("just too large") << QByteArray("1.8e308") << inf;
    QTest::newRow("largest") << QByteArray("1.7976931348623157e308") << 1.7976931348623157e308;
    QTest::newRow("subnormal") << QByteArray("4e-320") << 4e-320;
    QTest::newRow("zero, huge exponent") << QByteArray("0.000e99999999999999999999") << 0.0;
    QTest::newRow("long digits, exponent brings them back") << "1" + zeros + "e-400" << 1.0;
    QTest::newRow("tiny digits, exponent brings them back") << "0." + zeros + "25e401" << 2.5;
}

void CommandLineTest::numberReading() {
    QFETCH(QByteArray, text);
    QTEST(readNumber(text), "value");
}

void CommandLineTest::booleanReading_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value"); // 1 True, 0 False, -1 no reading
    QTest::newRow("True") << QByteArray("True") << 1;
    QTest::newRow("FALSE") << QByteArray("FALSE") << 0;
    QTest::newRow("fALSe") << QByteArray("fALSe") << 0;
    QTest::newRow("1") << QByteArray("1") << 1;
    QTest::newRow("0") << QByteArray("0") << 0;
    QTest::newRow("-1") << QByteArray("-1") << 1;
    QTest::newRow("0.0") << QByteArray("0.0") << 0;
    QTest::newRow("2E3") << QByteArray("2E3") << 1;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("yes") << QByteArray("yes") << -1;
    QTest::newRow("on") << QByteArray("on") << -1;
    QTest::newRow("number and letters") << QByteArray("1x") << -1;
    QTest::newRow("truer") << QByteArray("truer") << -1;
}

void CommandLineTest::booleanReading() {
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    const std::optional<bool> read = readBoolean(text);
    QCOMPARE(read.has_value() ? int(*read) : -1, value);
}

void CommandLineTest::leadingBlankFormat() {
    QCOMPARE(leadingBlankNumber(1), QByteArray(" 1"));
    QCOMPARE(leadingBlankNumber(0), QByteArray(" 0"));
    QCOMPARE(leadingBlankNumber(2.5), QByteArray(" 2.5"));
    QCOMPARE(leadingBlankNumber(-3), QByteArray("-3"));
    QCOMPARE(leadingBlankNumber(8000), QByteArray(" 8000"));
    QCOMPARE(leadingBlankNumber(1.0 / 3), QByteArray(" 0.333333333333333"));
}

void CommandLineTest::roundingHalvesToEven() {
    QCOMPARE(roundHalfEven(2.5), std::optional<qint32>(2));
    QCOMPARE(roundHalfEven(3.5), std::optional<qint32>(4));
    QCOMPARE(roundHalfEven(-0.5), std::optional<qint32>(0));
    QCOMPARE(roundHalfEven(8100.4), std::optional<qint32>(8100));
    QCOMPARE(roundHalfEven(3e9), std::optional<qint32>());
    QCOMPARE(roundHalfEven(std::nan("")), std::optional<qint32>());
    QCOMPARE(roundHalfEven(INFINITY), std::optional<qint32>());
}

void CommandLineTest::startUpShowsPortAndFilter_data() {
    QTest::addColumn<QByteArray>("fields");
    QTest::addColumn<QByteArray>("portBox");
    QTest::addColumn<QByteArray>("anyBox");
    QTest::newRow("defaults") << QByteArray("") << QByteArray(" 1") << QByteArray("ANY");
    QTest::newRow("filter on port 2")
        << QByteArray("N0CALL,2,false") << QByteArray(" 2") << QByteArray(" 2");
    QTest::newRow("fraction") << QByteArray("N0CALL,2.5,false") << QByteArray(" 2.5")
                              << QByteArray(" 2.5");
    QTest::newRow("too small a number")
        << QByteArray("N0CALL,1e-400,false") << QByteArray(" 0") << QByteArray(" 0");
}

void CommandLineTest::startUpShowsPortAndFilter() {
    QFETCH(QByteArray, fields);
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    BridgeOptions options;
    // Pad to four fields so that the listen port can be a free one.
    QByteArray commandLine = fields;
    for (qsizetype commas = fields.count(','); commas < 4; ++commas) {
        commandLine += ',';
    }
    commandLine.replace(",,", ",1,"); // empty padding fields would read as 0
    options.commandLine = fields.isEmpty()
                              ? ",1,true,8000," + QByteArray::number(freeLoopbackPort())
                              : commandLine + QByteArray::number(freeLoopbackPort());
    Bridge bridge(frontEnd, engine, options);
    bridge.Form_Load();
    QTEST(frontEnd.boxes.value(FrontEnd::Box::AgwPort), "portBox");
    QTEST(frontEnd.boxes.value(FrontEnd::Box::AnyBox), "anyBox");
    QVERIFY(!frontEnd.boxes.contains(FrontEnd::Box::MyCall));
    QCOMPARE(bridge.state().hostMode, quint8(0));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "test_commandline.moc"
