// The KAM's command words: which command a word, cut short or in any case, stands for, and the
// argument that follows it.
#include "client/kamcommands.h"

#include <QTest>

class KamCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void commandWords_data();
    void commandWords();
};

void KamCommandsTest::commandWords_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("command"); // empty: not a command
    QTest::addColumn<QByteArray>("argument");

    const auto row = [](const char *line, const char *command, const char *argument) {
        QTest::newRow(line) << QByteArray(line) << QByteArray(command) << QByteArray(argument);
    };
    // The shortest forms the clients send, and their neighbours that need more letters.
    row("C N0CALL", "CONNECT", "N0CALL");
    row("connect  N0CALL V RELAY1 ", "CONNECT", "N0CALL V RELAY1");
    row("CH 30", "CHECK", "30");
    row("CR OFF", "CR", "OFF");
    row("CRA OFF", "CRADD", "OFF");
    row("D", "DISCONNECT", "");
    row("DW 0", "DWAIT", "0");
    row("S", "STATUS", "");
    row("STATUS LONG", "STATUS", "LONG");
    row("STATS ON", "STATSHRT", "ON");
    row("M OFF", "MONITOR", "OFF");
    row("MAX 4", "MAXFRAME", "4");
    row("MAXUSERS 1/10", "MAXUSERS", "1/10");
    row("HB", "HBAUD", "");
    row("INT HOST", "INTFACE", "HOST");
    row("intf host", "INTFACE", "host");
    row("INV ON", "INVERT", "ON");
    row("RET 10", "RETRY", "10");
    row("TRIES", "TRIES", "");
    row("reset", "RESET", "");
    row("TOR", "TOR", "");
    row("MYPTCALL N0BPQ", "MYPTCALL", "N0BPQ");
    // The own callsign: the word, or the call written straight after "MY".
    row("MY N0FBB-0", "MYCALL", "N0FBB-0");
    row("MYCALL N0BPQ/N0BPQ", "MYCALL", "N0BPQ/N0BPQ");
    row("MYn0xyz", "MYCALL", "n0xyz");
    // Not commands: too short to tell, unknown, or nothing at all.
    row("MA 4", "", "");
    row("MAXU 1", "", "");
    row("RES", "", "");
    row("XYZZY", "", "");
    row("CN0CALL", "", "");
    row("", "", "");
    row("   ", "", "");
}

void KamCommandsTest::commandWords() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, argument);
    const std::optional<kam::ParsedCommand> parsed = kam::parseCommand(line);
    QCOMPARE(parsed.has_value(), !command.isEmpty());
    if (parsed) {
        QCOMPARE(parsed->command.name.toByteArray(), command);
        QCOMPARE(parsed->argument.toByteArray(), argument);
    }
}

QTEST_GUILESS_MAIN(KamCommandsTest)
#include "test_kamcommands.moc"
