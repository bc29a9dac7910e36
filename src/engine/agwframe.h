// AGW TCP/IP API frames: a 36-byte header (radio port, kind letter, PID, two callsign fields,
// little-endian data length) followed by exactly that many data bytes. No sync marker, no
// checksum: a reader that loses step cannot find it again, so a length out of reason ends the
// stream.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Header bytes before each frame's data.
constexpr qsizetype kAgwHeaderSize = 36;
// A callsign field: up to nine characters and at least one NUL.
constexpr qsizetype kAgwCallFieldSize = 10;
constexpr qsizetype kAgwMaxCallLength = kAgwCallFieldSize - 1;
// Engines send a few KiB at most; past this the stream is out of step, not a frame.
constexpr quint32 kAgwMaxDataLength = 64 * 1024;

struct AgwFrame {
    quint8 port = 0; // radio port on the wire, counted from 0
    char kind = 0;   // case matters: 'D' and 'd' are different kinds
    quint8 pid = 0;
    QByteArray callFrom; // without the NUL padding
    QByteArray callTo;
    QByteArray data;

    bool operator==(const AgwFrame &) const = default;
};

// The frame as bytes. Callsigns longer than a field holds are cut to fit, so the result is
// always a well-formed frame; callers validate callsigns before they get this far.
QByteArray encodeAgwFrame(const AgwFrame &frame);

// Cuts frames from a byte stream that arrives in pieces of any size. Holds at most one
// unfinished frame between calls, so its memory is bounded by the data-length limit plus the
// last piece appended.
class AgwFrameReader {
public:
    void append(QByteArrayView bytes);

    // The next complete frame, or nothing until more bytes come. Once the stream is broken it
    // yields nothing more.
    std::optional<AgwFrame> next();

    // A header announced more data than kAgwMaxDataLength.
    bool broken() const { return broken_; }
    // The announced length that broke the stream.
    quint32 brokenLength() const { return brokenLength_; }

private:
    QByteArray buffer_;
    qsizetype consumed_ = 0; // bytes of buffer_ already returned as frames
    bool broken_ = false;
    quint32 brokenLength_ = 0;
};
