// Cuts complete host-mode blocks out of the client's byte stream, one arrival at a time.
//
// A block runs from an opening FEND to the next FEND, which is consumed with it: the next block
// brings its own opening FEND. Two FENDs side by side count as one opening FEND. Bytes between
// blocks belong to nothing and are dropped as they are met.
//
// The unfinished block waits in `pending` from one arrival to the next: empty, or its opening
// FEND and the bytes after it (never a second FEND). Each arrival byte is looked at once, so
// cutting costs time linear in what arrives, however it is split.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// An unfinished block longer than this is dropped: KAM host-mode blocks are a few hundred bytes
// at most, and a client that never closes its block must not hold memory without limit.
constexpr qsizetype kMaxPendingClientBytes = 32767;

class HostBlockCutter {
public:
    // Neither pending nor the bytes that arrival views may change while the cutter is in use.
    HostBlockCutter(QByteArray &pending, QByteArrayView arrival);

    // The next complete block, FEND to FEND, or nothing once the arrival is used up. Then
    // `pending` holds the unfinished block, or is empty if that block outgrew
    // kMaxPendingClientBytes and was dropped (see droppedBytes()).
    std::optional<QByteArray> next();

    // How many bytes of an outgrown unfinished block were dropped; 0 when none was.
    qsizetype droppedBytes() const { return droppedBytes_; }

private:
    QByteArray &pending_;
    QByteArrayView arrival_;
    qsizetype position_ = 0;
    qsizetype droppedBytes_ = 0;
};
