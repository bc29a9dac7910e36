// Cuts complete host-mode blocks out of the client's byte stream, one arrival at a time.
//
// A block runs from an opening FEND to the next FEND, which is consumed with it: the next block
// brings its own opening FEND. Two FENDs side by side count as one opening FEND. Bytes between
// blocks belong to nothing and are dropped as they are met.
//
// The unfinished block waits in `pending` from one arrival to the next: empty, or its opening
// FEND and the bytes after it (never a second FEND). Each arrival byte is looked at once, so
// cutting costs time linear in what arrives, however it is split.
//
// A block that grows past kMaxPendingClientBytes before its closing FEND is dropped, whether
// that FEND comes in the same arrival or never. The rest of it, up to the next FEND, is then
// outside any block, and that FEND opens a block, so the client's next block (with its own
// opening FEND) is read whole. How the bytes were split never changes which blocks are cut.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// A block longer than this without its closing FEND is dropped: KAM host-mode blocks are a few
// hundred bytes at most, and a client that never closes its block must not hold memory without
// limit.
constexpr qsizetype kMaxPendingClientBytes = 32767;

// One thing cut from the stream: a complete block, or an over-long one that was dropped.
struct CutBlock {
    QByteArray block; // FEND to FEND; empty when dropped
    // Bytes of a dropped block that had arrived when it was dropped, opening FEND included;
    // 0 for a complete block.
    qsizetype droppedBytes = 0;
};

class HostBlockCutter {
public:
    // Neither pending nor the bytes that arrival views may change while the cutter is in use.
    HostBlockCutter(QByteArray &pending, QByteArrayView arrival);

    // The next complete or dropped block, in stream order, or nothing once the arrival is used
    // up. Then `pending` holds the unfinished block, if any.
    std::optional<CutBlock> next();

    // The arrival's bytes that next() has not looked at yet.
    QByteArrayView rest() const { return arrival_.sliced(position_); }

private:
    QByteArray &pending_;
    QByteArrayView arrival_;
    qsizetype position_ = 0;
};
