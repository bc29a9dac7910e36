// Start-up: the bridge's start values, the command line, the window's boxes, then the packet
// engine and, last, the client listener.
#include "bridge/blanks.h"
#include "bridge/bridge.h"
#include "bridge/numbers.h"

namespace {

constexpr int kFieldCount = 5;
} // namespace

void Bridge::Form_Load() {
    initState();
}

void Bridge::initState() {
    s_.agwPort = 1;
    s_.enginePort = 8000;
    s_.listenPort = 8100;
    s_.acceptAny = true;

    s_.hostMode = options_.startInHostMode ? 1 : 0;
    s_.clientBuffer.clear();

    parseCommandLine(options_.commandLine);

    showBox(FrontEnd::Box::AgwPort, leadingBlankNumber(s_.agwPort));
    showBox(FrontEnd::Box::AnyBox,
            s_.acceptAny ? QByteArray("ANY") : leadingBlankNumber(s_.agwPort));

    startEngine();
    startListening();
}

void Bridge::parseCommandLine(const QByteArray &commandLine) {
    if (commandLine.isEmpty()) {
        return;
    }
    qsizetype comma = commandLine.indexOf(',');
    if (comma < 0) {
        s_.myCall = trimBlanks(commandLine).toUpper();
        return;
    }
    s_.myCall = trimBlanks(commandLine.first(comma)).toUpper();

    for (int field = 2; field <= kFieldCount; ++field) {
        const qsizetype start = comma + 1;
        comma = commandLine.indexOf(',', start);
        const QByteArray text = trimBlanks(comma < 0 ? commandLine.sliced(start)
                                                     : commandLine.sliced(start, comma - start));
        switch (field) {
        case 2:
            s_.agwPort = readNumber(text);
            break;
        case 3:
            if (const std::optional<bool> accept = readBoolean(text)) {
                s_.acceptAny = *accept;
            } else {
                // Keep the safe reading of a field nobody can read: every port stays allowed.
                logLine("ERROR accept field \"" + text +
                        "\" is not True, False or a number; accepting any port");
            }
            break;
        case 4:
            s_.enginePort = readNumber(text);
            break;
        case 5:
            s_.listenPort = readNumber(text);
            break;
        }
        if (comma < 0) {
            return;
        }
    }
    logLine("ERROR too many command line arguments");
}
