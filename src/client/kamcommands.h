// The KAM's command words, as its terminal mode takes them at the "cmd:" prompt and its host
// mode in the text of a command block: the command word, a blank, the argument.
//
// Words are matched without regard to case and may be cut short, down to the part the KAM's
// command list writes in capitals ("MAX" for MAXFRAME, "MY" for MYCALL, "C" for CONNECT).
// MAXUSERS must be spelled out, as on the KAM, where its short form would only show it.
#pragma once

#include <QByteArrayView>

#include <optional>

namespace kam {

// What a command does, as far as a host program can tell.
enum class CommandKind {
    Connect,
    Disconnect,
    MyCall,
    Status,
    Tries,
    Interface,
    Reset,
    HfMode,  // switches the HF port to a non-packet mode (TOR, PACTOR, ...)
    Setting, // a parameter: its name alone shows it, with a value sets it
};

struct Command {
    QByteArrayView name; // in full, upper case
    qsizetype shortest;  // the shortest abbreviation the KAM takes
    CommandKind kind;
};

struct ParsedCommand {
    const Command &command;
    QByteArrayView argument; // after the word, surrounding blanks removed; may be empty
};

// The command of one line (without its CR). Nothing for an empty line or a word the KAM does not
// know. A word that begins with "MY" and names no other command is MYCALL with the callsign
// written straight after it ("MYN0CALL").
std::optional<ParsedCommand> parseCommand(QByteArrayView line);

} // namespace kam
