// The KAM's terminal (command) mode, as far as a host-mode client needs it: a fixed start-up
// dialogue, and "RESET" to enter host mode. Each arrival is compared whole, byte for byte, with
// no line splitting: a line split over two arrivals is not understood.
#include "bridge/bridge.h"

#include <QByteArrayView>

#include <array>

namespace {

struct TerminalExchange {
    QByteArrayView request;
    QByteArrayView reply;
    QByteArrayView secondReply; // sent on its own after the first, when there is one
    bool entersHostMode = false;
};

// FEND is written \300: an octal escape ends after three digits, where a hex one would run on
// into the C of "C20S".
constexpr std::array<TerminalExchange, 8> kExchanges = {{
    {"\r", "cmd:\r", {}, false},
    {"\x03 X", "cmd:\r", {}, false},
    {"\300C20S\300", "cmd:\r", {}, false},
    {"*", "ENTER YOUR CALLSIGN=>\r", "cmd:", false},
    {"F00BAR\r\r", "MYCALL now F00BAR\r", "cmd:", false},
    {"\rINTFACE HOST\r", "INTFACE was TERMINAL\r", "cmd:", false},
    {"RESET\r", "\300\300S00\300", {}, true},
    {"\300q\300", "EH?", {}, false},
}};

} // namespace

void Bridge::interpretTerminal(const QByteArray &data) {
    for (const TerminalExchange &exchange : kExchanges) {
        if (QByteArrayView(data) != exchange.request) {
            continue;
        }
        sendRaw(exchange.reply.toByteArray());
        if (!exchange.secondReply.isEmpty()) {
            sendRaw(exchange.secondReply.toByteArray());
        }
        if (exchange.entersHostMode) {
            s_.hostMode = 1;
        }
        return;
    }
    logLine("ERROR Unknown Terminal mode Client request>");
    logLine(data);
}
