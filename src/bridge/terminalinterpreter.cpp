// The KAM's terminal (command) mode. The start-up dialogue of the original clients is answered
// as they know it, each of its inputs when it arrives whole. Everything else is taken as a
// stream and cut into lines at CR, as the KAM does: each line is a command, answered and followed
// by the prompt "cmd:"; "RESET" enters host mode. A FEND-framed block is no line: the KAM's
// terminal mode does not know host blocks and says so.
#include "bridge/blanks.h"
#include "bridge/bridge.h"
#include "client/hostcodec.h"

#include <QByteArrayView>

#include <array>
#include <utility>

namespace {

struct TerminalExchange {
    QByteArrayView request;
    QByteArrayView reply;
    QByteArrayView secondReply; // sent on its own after the first, when there is one
    bool entersHostMode = false;
};

// FEND is written \300: an octal escape ends after three digits, where a hex one would run on
// into the C of "C20S".
constexpr std::array<TerminalExchange, 9> kExchanges = {{
    {"\r", "cmd:\r", {}, false},
    {"\x03 X", "cmd:\r", {}, false},
    {"\300C20S\300", "cmd:\r", {}, false},
    {"*", "ENTER YOUR CALLSIGN=>\r", "cmd:", false},
    {"F00BAR\r\r", "MYCALL now F00BAR\r", "cmd:", false},
    {"\rINTFACE HOST\r", "INTFACE was TERMINAL\r", "cmd:", false},
    {"RESET\r", "\300\300S00\300", {}, true},
    // The host mode's quit block, in either case.
    {"\300q\300", "EH?", {}, false},
    {"\300Q\300", "EH?", {}, false},
}};

constexpr QByteArrayView kPrompt = "cmd:";

// The editing characters of the KAM's command line.
constexpr char kCommandMode = '\x03'; // Ctrl-C: back from converse mode, where Varnel never is
constexpr char kCancelLine = '\x18';  // Ctrl-X
constexpr char kBackspace = '\x08';
constexpr char kDelete = '\x7F';

const TerminalExchange *findExchange(QByteArrayView input) {
    for (const TerminalExchange &exchange : kExchanges) {
        if (input == exchange.request) {
            return &exchange;
        }
    }
    return nullptr;
}

void answerExchange(Bridge &bridge, const TerminalExchange &exchange) {
    bridge.sendRaw(exchange.reply.toByteArray());
    if (!exchange.secondReply.isEmpty()) {
        bridge.sendRaw(exchange.secondReply.toByteArray());
    }
    if (exchange.entersHostMode) {
        bridge.state().hostMode = 1;
    }
}

} // namespace

QByteArrayView Bridge::interpretTerminal(QByteArrayView data) {
    if (s_.terminalLine.isEmpty() && !s_.terminalLineTooLong) {
        if (const TerminalExchange *exchange = findExchange(data)) {
            answerExchange(*this, *exchange);
            return {};
        }
    }
    for (qsizetype i = 0; i < data.size(); ++i) {
        takeTerminalByte(data[i]);
        if (s_.hostMode == 1) {
            return data.sliced(i + 1);
        }
    }
    return {};
}

void Bridge::takeTerminalByte(char c) {
    QByteArray &line = s_.terminalLine;
    // Past its bound a line is only waited out: it will not be understood.
    const auto keep = [&](char kept) {
        if (line.size() < kMaxTerminalLineBytes) {
            line.append(kept);
        } else {
            s_.terminalLineTooLong = true;
        }
    };
    if (line.startsWith(hostcodec::kFend)) {
        // A block runs to the next FEND; FEND FEND opens one, as in host mode.
        if (c != hostcodec::kFend) {
            keep(c);
        } else if (line.size() > 1) {
            s_.terminalLineTooLong = false;
            answerTerminalBlock(std::exchange(line, {}) + hostcodec::kFend);
        }
        return;
    }
    switch (c) {
    case '\r': {
        const QByteArray typed = std::exchange(line, {});
        if (std::exchange(s_.terminalLineTooLong, false)) {
            refuseTerminalRequest(typed);
        } else {
            answerTerminalLine(typed);
        }
        return;
    }
    case '\n': // the KAM's own line ends are CR
    case kCommandMode:
        return;
    case kCancelLine:
        line.clear();
        s_.terminalLineTooLong = false;
        return;
    case kBackspace:
    case kDelete:
        if (!line.isEmpty()) {
            line.chop(1);
        }
        return;
    case '*':
        // The autobaud character, answered whenever it starts a line.
        if (line.isEmpty() && !s_.terminalLineTooLong) {
            answerExchange(*this, *findExchange("*"));
            return;
        }
        break;
    default:
        break;
    }
    keep(c);
}

void Bridge::answerTerminalLine(QByteArrayView line) {
    if (trimBlanks(line).isEmpty()) {
        answerExchange(*this, *findExchange("\r"));
        return;
    }
    const std::optional<kam::ParsedCommand> parsed = kam::parseCommand(line);
    if (parsed && parsed->command.kind == kam::CommandKind::Reset) {
        answerExchange(*this, *findExchange("RESET\r"));
        return;
    }
    // Links are carried in host mode only.
    const std::optional<QByteArray> answer =
        parsed ? answerCommand(*parsed, s_.currentStream) : std::nullopt;
    if (!answer) {
        refuseTerminalRequest(line);
        return;
    }
    sendRaw(*answer);
    sendRaw(kPrompt.toByteArray());
}

void Bridge::answerTerminalBlock(QByteArrayView block) {
    if (const TerminalExchange *exchange = findExchange(block)) {
        answerExchange(*this, *exchange);
        return;
    }
    logLine("ERROR Unknown Terminal mode Client request>");
    logLine(block.toByteArray());
    sendRaw("EH?");
}

void Bridge::refuseTerminalRequest(QByteArrayView request) {
    logLine("ERROR Unknown Terminal mode Client request>");
    logLine(request.toByteArray());
    sendRaw(kNotUnderstood.toByteArray());
    sendRaw(kPrompt.toByteArray());
}
