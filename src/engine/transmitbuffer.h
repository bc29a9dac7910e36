// One link's outgoing data between the client and the engine, as a TNC's transmit buffer: the
// client's bytes wait here and are cut into frames, and the frames handed to the engine are
// counted until the engine says it no longer holds them. The link is a byte stream, so frame
// boundaries are Varnel's choice:
// - on an idle link (nothing waiting, nothing outstanding) data goes at once, however short;
// - while the engine still holds frames of the link, short data waits to be packed into full
//   frames, unless the client has paused (a pacing tick passed with nothing new);
// - the engine is given at most kMaxOutstandingFrames frames ahead; the rest waits here.
//
// The engine tells how many frames it still holds only when asked (the AGW 'Y' query), and its
// answer covers the frames handed over before the question. Frames are acknowledged in order, so
// the ones it still holds are the last ones handed over.
//
// Unpaced (an engine that cannot be asked), every byte is handed over at once and nothing is
// counted as outstanding. Pure bookkeeping: the owner moves the frames and asks the questions.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class TransmitBuffer {
public:
    // Bytes per frame, the most any 'D' carries whatever the client writes. QtSoundModem's
    // monitor copies each frame into 512-byte buffers: it dies silently on a 'D' of 1000 bytes,
    // while up to 480 pass. 256 is also the engines' usual PACLEN: one 'D' goes on air as one
    // I-frame.
    static constexpr qsizetype kFrameBytes = 256;
    // Frames the engine is given ahead of its acknowledgements: enough to keep an AX.25 v2.2
    // window full at 9600 bd (on Dire Wolf 1.6, 16 fell 5% short of handing over everything),
    // while the rest waits here, where it is counted and can still be held back.
    static constexpr qsizetype kMaxOutstandingFrames = 32;

    void append(QByteArrayView data);

    // The data of the next frame to hand over now, or empty when none should go yet. Valid
    // until the next call that changes the buffer; handedOver() takes it out.
    QByteArrayView nextFrame() const;
    void handedOver(qsizetype bytes);

    // A pacing tick: data that got no company since the previous tick may go as a short frame.
    void tick();

    // The engine was asked how many frames it holds; its answer comes to outstandingAnswered.
    void askedOutstanding();
    bool isAskingOutstanding() const { return asking_; }
    void outstandingAnswered(quint32 frames);

    // Hands everything over at once from now on and counts nothing as outstanding.
    void setUnpaced();

    qsizetype waitingBytes() const { return waiting_.size() - head_; }
    qsizetype outstandingFrames() const { return outstanding_.size(); }
    // Bytes handed over that the engine may still hold, plus the bytes waiting here.
    qsizetype heldBytes() const { return waitingBytes() + outstandingBytes_; }
    bool isEmpty() const { return heldBytes() == 0; }
    // The frames handed over that the engine may still hold, plus those the waiting bytes make.
    qsizetype heldFrames() const {
        return outstandingFrames() + (waitingBytes() + kFrameBytes - 1) / kFrameBytes;
    }

    // Forgets everything; returns the bytes that were held.
    qsizetype clear();

private:
    QByteArray waiting_;
    qsizetype head_ = 0;             // bytes at the front of waiting_ already handed over
    QList<qsizetype> outstanding_;   // sizes of the frames the engine may hold, oldest first
    qsizetype outstandingBytes_ = 0; // their sum
    qsizetype sinceAsked_ = 0;       // frames handed over after the pending question
    bool asking_ = false;
    bool freshData_ = false; // data came since the last tick
    bool mayCutShort_ = false;
    bool paced_ = true;
};
