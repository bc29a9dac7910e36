#include "client/kamcommands.h"

#include <algorithm>
#include <array>

namespace kam {

namespace {

using enum CommandKind;

// The KAM's commands that the mail clients send, and their neighbours in the command list. A
// cut-short word means the first command it can stand for, so where two names share a start the
// one the KAM reaches with fewer letters comes first.
constexpr std::array kCommands = {
    Command{"CONNECT", 1, Connect},  Command{"DISCONNECT", 1, Disconnect},
    Command{"STATUS", 1, Status},    Command{"MONITOR", 1, Setting},
    Command{"UNPROTO", 1, Setting},  Command{"BEACON", 1, Setting},
    Command{"ECHO", 1, Setting},     Command{"MYCALL", 2, MyCall},
    Command{"TRIES", 3, Tries},      Command{"INTFACE", 3, Interface},
    Command{"RESET", 5, Reset},

    Command{"TOR", 3, HfMode},       Command{"PACTOR", 6, HfMode},
    Command{"GTOR", 4, HfMode},      Command{"AMTOR", 3, HfMode},
    Command{"LAMTOR", 3, HfMode},    Command{"FEC", 3, HfMode},
    Command{"SELFEC", 4, HfMode},    Command{"RTTY", 2, HfMode},
    Command{"ASCII", 2, HfMode},     Command{"CW", 2, HfMode},
    Command{"NAVTEX", 3, HfMode},    Command{"ARQ", 3, HfMode},
    Command{"PACKET", 6, HfMode},

    Command{"ABAUD", 2, Setting},    Command{"ARQBBS", 4, Setting},
    Command{"ARQID", 4, Setting},    Command{"ARQTMO", 4, Setting},
    Command{"AUTOCR", 5, Setting},   Command{"AUTOLF", 5, Setting},
    Command{"AX25L2V2", 2, Setting}, Command{"AXDELAY", 3, Setting},
    Command{"AXHANG", 3, Setting},   Command{"BKONDEL", 2, Setting},
    Command{"BTEXT", 2, Setting},    Command{"CANLINE", 4, Setting},
    Command{"CANPAC", 4, Setting},   Command{"CD", 2, Setting},
    Command{"CHECK", 2, Setting},    Command{"CMDTIME", 3, Setting},
    Command{"CMSG", 3, Setting},     Command{"COMMAND", 3, Setting},
    Command{"CONMODE", 4, Setting},  Command{"CONOK", 4, Setting},
    Command{"CPACTIME", 2, Setting}, Command{"CR", 2, Setting},
    Command{"CRADD", 3, Setting},    Command{"CRSUP", 3, Setting},
    Command{"CSTAMP", 2, Setting},   Command{"CTEXT", 2, Setting},
    Command{"DAYTIME", 2, Setting},  Command{"DAYSTR", 4, Setting},
    Command{"DBLDISC", 2, Setting},  Command{"DELETE", 3, Setting},
    Command{"DIGIPEAT", 3, Setting}, Command{"DWAIT", 2, Setting},
    Command{"ESCAPE", 2, Setting},   Command{"FILTER", 2, Setting},
    Command{"FLOW", 2, Setting},     Command{"FRACK", 2, Setting},
    Command{"FULLDUP", 2, Setting},  Command{"HBAUD", 2, Setting},
    Command{"HEADERLN", 2, Setting}, Command{"HID", 2, Setting},
    Command{"ID", 2, Setting},       Command{"INVERT", 3, Setting},
    Command{"KNTIMER", 2, Setting},  Command{"LFADD", 3, Setting},
    Command{"LFSUP", 3, Setting},    Command{"MARK", 3, Setting},
    Command{"MAXFRAME", 3, Setting}, Command{"MAXUSERS", 8, Setting},
    Command{"MBEACON", 2, Setting},  Command{"MCOM", 4, Setting},
    Command{"MCON", 4, Setting},     Command{"MFILTER", 2, Setting},
    Command{"MRESP", 3, Setting},    Command{"MRPT", 3, Setting},
    Command{"MSTAMP", 2, Setting},   Command{"MYALIAS", 3, Setting},
    Command{"MYGATE", 4, Setting},   Command{"MYGTCALL", 4, Setting},
    Command{"MYNODE", 3, Setting},   Command{"MYPBBS", 4, Setting},
    Command{"MYPTCALL", 4, Setting}, Command{"MYREMOTE", 3, Setting},
    Command{"MYSELCAL", 3, Setting}, Command{"NEWMODE", 2, Setting},
    Command{"NOMODE", 2, Setting},   Command{"NUCR", 3, Setting},
    Command{"NULF", 4, Setting},     Command{"NULLS", 4, Setting},
    Command{"PACLEN", 4, Setting},   Command{"PACTIME", 5, Setting},
    Command{"PASS", 4, Setting},     Command{"PASSALL", 5, Setting},
    Command{"PBBS", 2, Setting},     Command{"PERSIST", 2, Setting},
    Command{"PID", 2, Setting},      Command{"PORT", 2, Setting},
    Command{"PTERRS", 3, Setting},   Command{"PTHUFF", 3, Setting},
    Command{"PTOVER", 3, Setting},   Command{"RESPTIME", 4, Setting},
    Command{"RETRY", 3, Setting},    Command{"RING", 2, Setting},
    Command{"RXREV", 2, Setting},    Command{"SENDPAC", 2, Setting},
    Command{"SHIFT", 2, Setting},    Command{"SLOTTIME", 2, Setting},
    Command{"SPACE", 2, Setting},    Command{"STATSHRT", 5, Setting},
    Command{"TRACE", 4, Setting},    Command{"TRFLOW", 3, Setting},
    Command{"TXDELAY", 2, Setting},  Command{"TXFLOW", 3, Setting},
    Command{"USERS", 2, Setting},    Command{"XFLOW", 2, Setting},
    Command{"XMITECHO", 2, Setting}, Command{"XMITOK", 5, Setting},
    Command{"XOFF", 3, Setting},     Command{"XON", 3, Setting},
};

constexpr qsizetype kMaxNameLength = 10; // DISCONNECT
constexpr QByteArrayView kOwnCallPrefix = "MY";

bool isBlank(char c) {
    return c == ' ';
}

QByteArrayView trimmed(QByteArrayView text) {
    while (!text.isEmpty() && isBlank(text.front())) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && isBlank(text.back())) {
        text.chop(1);
    }
    return text;
}

// The command the word names in full, or else the first one it may stand for: one pass, and
// a word's first letter rules out most commands at once.
const Command *findCommand(QByteArrayView word) {
    if (word.isEmpty() || word.size() > kMaxNameLength) {
        return nullptr;
    }
    std::array<char, kMaxNameLength> letters{};
    std::transform(word.begin(), word.end(), letters.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; });
    const QByteArrayView upper(letters.data(), word.size());
    const Command *abbreviated = nullptr;
    for (const Command &command : kCommands) {
        if (command.name.front() != upper.front() || !command.name.startsWith(upper)) {
            continue;
        }
        if (command.name.size() == upper.size()) {
            return &command;
        }
        if (!abbreviated && upper.size() >= command.shortest) {
            abbreviated = &command;
        }
    }
    return abbreviated;
}

const Command &ownCallCommand() {
    return *findCommand("MYCALL");
}

} // namespace

std::optional<ParsedCommand> parseCommand(QByteArrayView line) {
    line = trimmed(line);
    const qsizetype blank = line.indexOf(' ');
    const QByteArrayView word = blank < 0 ? line : line.first(blank);
    const QByteArrayView argument = blank < 0 ? QByteArrayView() : trimmed(line.sliced(blank));
    if (const Command *command = findCommand(word)) {
        return ParsedCommand{*command, argument};
    }
    if (word.size() > kOwnCallPrefix.size() &&
        word.first(kOwnCallPrefix.size()).compare(kOwnCallPrefix, Qt::CaseInsensitive) == 0) {
        return ParsedCommand{ownCallCommand(), trimmed(line.sliced(kOwnCallPrefix.size()))};
    }
    return std::nullopt;
}

} // namespace kam
