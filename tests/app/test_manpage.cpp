// --help and the man page tell the same: the same synopsis, the same fields and options, each
// with the same default.
#include "app/options.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTest>

namespace {

// Tag of a field or option ("--listen-address ADDR") -> its description.
using Entries = QMap<QString, QString>;

// A line of roff as text: escapes and font changes out; a font macro's arguments joined, without
// blanks where the macro alternates fonts (.BR, .RI, ...).
QString roffText(const QString &line) {
    QString text = line;
    text.remove(QRegularExpression(QStringLiteral(R"(\\f[BIRP])")));
    text.remove(QStringLiteral("\\%"));
    text.remove(QStringLiteral("\\:"));
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    const QRegularExpressionMatch macro =
        QRegularExpression(QStringLiteral(R"(^\.([BIR]{1,2})\s+(.*)$)")).match(text);
    if (!macro.hasMatch()) {
        return text;
    }
    QStringList arguments;
    auto tokens =
        QRegularExpression(QStringLiteral(R"re("([^"]*)"|(\S+))re")).globalMatch(macro.captured(2));
    while (tokens.hasNext()) {
        const QRegularExpressionMatch token = tokens.next();
        arguments << (token.capturedLength(1) > 0 ? token.captured(1) : token.captured(2));
    }
    return arguments.join(macro.captured(1).size() == 2 ? QString() : QStringLiteral(" "));
}

struct ManPage {
    QString synopsis;
    QMap<QString, Entries> sections; // section heading -> its tagged paragraphs
};

ManPage readManPage() {
    QFile file(QStringLiteral(VARNEL_MAN_PAGE));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read the man page");
    }
    ManPage page;
    QString section;
    QString tag;
    bool tagFollows = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(QStringLiteral(".SH "))) {
            section = line.mid(4);
            tag.clear();
        } else if (line == QStringLiteral(".TP")) {
            tagFollows = true;
        } else if (line.startsWith(QStringLiteral(".\\\"")) || line == QStringLiteral(".PP") ||
                   QRegularExpression(QStringLiteral(R"(^\.(ad|IP|RS|RE|nf|fi)\b)"))
                       .match(line)
                       .hasMatch()) {
            continue;
        } else if (tagFollows) {
            tag = roffText(line);
            page.sections[section][tag];
            tagFollows = false;
        } else if (section == QStringLiteral("SYNOPSIS")) {
            page.synopsis +=
                (page.synopsis.isEmpty() ? QString() : QStringLiteral(" ")) + roffText(line);
        } else if (!tag.isEmpty()) {
            page.sections[section][tag] += roffText(line) + u' ';
        }
    }
    return page;
}

// The usage's lines under a heading: "  TAG   description", continued by deeper lines.
Entries usageEntries(const QString &heading) {
    Entries entries;
    bool inSection = false;
    QString tag;
    for (const QString &line : usageText().split(u'\n')) {
        if (!line.startsWith(u' ')) {
            inSection = line.startsWith(heading);
            continue;
        }
        if (!inSection) {
            continue;
        }
        const QRegularExpressionMatch entry =
            QRegularExpression(QStringLiteral(R"(^  (\S.*?)(?:\s{2,}(.*))?$)")).match(line);
        if (entry.hasMatch()) {
            tag = entry.captured(1);
            entries[tag] = entry.captured(2);
        } else {
            entries[tag] += u' ' + line.trimmed();
        }
    }
    return entries;
}

// What a description gives as the default, or nothing.
QString defaultIn(const QString &description) {
    static const QRegularExpression pattern(QStringLiteral(R"(default:?\s+(\S+?)[.,)]*(?:\s|$))"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(description).captured(1);
}

} // namespace

class ManPageTest : public QObject {
    Q_OBJECT
private slots:
    void synopsisIsTheUsageLine();
    void sameEntriesWithTheSameDefaults_data();
    void sameEntriesWithTheSameDefaults();
};

void ManPageTest::synopsisIsTheUsageLine() {
    const QString usage = usageText().section(u'\n', 0, 0);
    QCOMPARE(QStringLiteral("Usage: ") + readManPage().synopsis, usage);
}

void ManPageTest::sameEntriesWithTheSameDefaults_data() {
    QTest::addColumn<QString>("usageHeading");
    QTest::addColumn<QString>("manSection");
    QTest::newRow("fields") << "Fields"
                            << "FIELDS";
    QTest::newRow("options") << "Options"
                             << "OPTIONS";
}

void ManPageTest::sameEntriesWithTheSameDefaults() {
    QFETCH(QString, usageHeading);
    QFETCH(QString, manSection);
    const Entries usage = usageEntries(usageHeading);
    const Entries man = readManPage().sections.value(manSection);
    QVERIFY(!usage.isEmpty());
    QCOMPARE(man.keys(), usage.keys());
    for (const QString &tag : usage.keys()) {
        QVERIFY2(defaultIn(man[tag]) == defaultIn(usage[tag]),
                 qPrintable(QStringLiteral("%1: the man page says default \"%2\", --help \"%3\"")
                                .arg(tag, defaultIn(man[tag]), defaultIn(usage[tag]))));
    }
}

QTEST_APPLESS_MAIN(ManPageTest)
#include "test_manpage.moc"
