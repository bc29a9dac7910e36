// The command line in both its layers: the program's options from any arguments, and the
// bridge's comma-separated fields from any text, with the number readings under them. None
// may crash, and what they settle keeps to its form.
#include "require.h"

#include "app/options.h"
#include "bridge/bridge.h"
#include "bridge/numbers.h"
#include "support/fakeengine.h"
#include "support/recorderfrontend.h"

#include <QCoreApplication>

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));

    // As the shell would split it: arguments separated by NUL.
    QStringList arguments;
    for (const QByteArray &argument : text.split('\0')) {
        arguments.append(QString::fromLocal8Bit(argument));
    }
    const ProgramOptions options = parseProgramOptions(arguments);
    VARNEL_REQUIRE(options.error.isEmpty() || options.commandLine.isEmpty());

    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    Bridge bridge(frontEnd, engine, BridgeOptions());
    bridge.parseCommandLine(text);
    const BridgeState &s = bridge.state();
    VARNEL_REQUIRE(!s.myCall.startsWith(' ') && !s.myCall.endsWith(' '));
    VARNEL_REQUIRE(s.myCall == s.myCall.toUpper());
    VARNEL_REQUIRE(frontEnd.lines.size() <= 2);

    for (const double number : {s.agwPort, s.enginePort, s.listenPort, readNumber(text)}) {
        VARNEL_REQUIRE(!std::isnan(number));
        const std::optional<qint32> rounded = roundHalfEven(number);
        VARNEL_REQUIRE(!rounded || std::abs(double(*rounded) - number) <= 0.5);
        const QByteArray shown = leadingBlankNumber(number);
        VARNEL_REQUIRE(shown.startsWith(' ') || shown.startsWith('-'));
    }
    if (const std::optional<bool> accept = readBoolean(text)) {
        VARNEL_REQUIRE(*accept == (readNumber(text) != 0) ||
                       QByteArrayView(text).compare("true", Qt::CaseInsensitive) == 0 ||
                       QByteArrayView(text).compare("false", Qt::CaseInsensitive) == 0);
    }
    return 0;
}
