// client/: the KAM side of Varnel's protocol layers, knowing nothing of the engine or the bridge:
// this codec, the block cutter (hostblockcutter.h) and the client's wire (clienttransport.h: on
// TCP, a serial port or a pseudo-terminal).
//
// The KAM host-mode block format: FEND, up to three header characters (type, port, stream), an
// optional data field, FEND. Inside the data field FEND is carried as FESC TFEND and FESC as
// FESC TFESC, as in KISS framing; header characters are never escaped.
//
// Pure functions, each one pass over its input, so that any length costs linear time.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace hostcodec {

constexpr char kFend = '\xC0';
constexpr char kFesc = '\xDB';
constexpr char kTfend = '\xDC';
constexpr char kTfesc = '\xDD';

// FEND, text, FEND. Nothing in text is escaped.
QByteArray frame(QByteArrayView text);

// True when block is exactly FEND, content, FEND.
bool isFramed(QByteArrayView block, QByteArrayView content);

// Data as the client must see it: every FEND and FESC escaped.
QByteArray escape(QByteArrayView data);

// Data as the link carries it. FESC TFEND gives FEND and FESC TFESC gives FESC; a FESC before
// any other character is dropped and that character kept as it is (even another FESC); a FESC
// at the very end is dropped. Bytes that follow no FESC pass unchanged.
QByteArray unescape(QByteArrayView data);

enum class Framing { Ok, FirstByteNotFend, LastByteNotFend };

// Whether block begins and ends with FEND; a single FEND counts as both.
Framing checkFraming(QByteArrayView block);

// The header (type, port and stream characters, fewer where the block is too short to hold
// them) and the data field of a block, which keeps its escapes. Both view the block.
struct BlockFields {
    QByteArrayView header;
    QByteArrayView data;
};

// Splits a block whose framing is Ok.
BlockFields splitBlock(QByteArrayView block);

// Where a command or data block is addressed: the port ('1' or '2', the KAM's two radio ports)
// and the stream ('A' to 'Z' for a link, '0' for the TNC itself).
struct Stream {
    char port = '1';
    char letter = 'A';

    bool isLink() const { return letter >= 'A' && letter <= 'Z'; }
    friend bool operator==(const Stream &, const Stream &) = default;
};

// The port and stream of a block's header (type, port, stream), when both are valid.
std::optional<Stream> headerStream(QByteArrayView header);

} // namespace hostcodec
