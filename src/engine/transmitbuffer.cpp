#include "engine/transmitbuffer.h"

void TransmitBuffer::append(QByteArrayView data) {
    if (data.isEmpty()) {
        return;
    }
    // Handed-over bytes are dropped once they are half the buffer, so appending stays linear.
    if (head_ > 0 && head_ >= waiting_.size() / 2) {
        waiting_.remove(0, head_);
        head_ = 0;
    }
    waiting_.append(data);
    freshData_ = true;
    mayCutShort_ = false;
}

QByteArrayView TransmitBuffer::nextFrame() const {
    const qsizetype waiting = waitingBytes();
    if (waiting == 0) {
        return {};
    }
    const QByteArrayView rest = QByteArrayView(waiting_).sliced(head_);
    if (!paced_) {
        return rest.first(qMin(waiting, kFrameBytes));
    }
    if (outstandingFrames() >= kMaxOutstandingFrames) {
        return {};
    }
    if (waiting >= kFrameBytes) {
        return rest.first(kFrameBytes);
    }
    return outstanding_.isEmpty() || mayCutShort_ ? rest : QByteArrayView();
}

void TransmitBuffer::handedOver(qsizetype bytes) {
    head_ += bytes;
    if (head_ == waiting_.size()) {
        waiting_.clear();
        head_ = 0;
    }
    if (!paced_) {
        return;
    }
    outstanding_.append(bytes);
    outstandingBytes_ += bytes;
    if (asking_) {
        ++sinceAsked_;
    }
    if (waitingBytes() == 0) {
        mayCutShort_ = false;
    }
}

void TransmitBuffer::tick() {
    mayCutShort_ = !freshData_ && waitingBytes() > 0;
    freshData_ = false;
}

void TransmitBuffer::askedOutstanding() {
    asking_ = true;
    sinceAsked_ = 0;
}

void TransmitBuffer::outstandingAnswered(quint32 frames) {
    if (!asking_) {
        return;
    }
    asking_ = false;
    // An engine that splits frames further may count more than it was given: then all of
    // them are still held.
    const qsizetype askedAbout = outstanding_.size() - sinceAsked_;
    const qsizetype stillHeld = sinceAsked_ + qMin(qsizetype(frames), askedAbout);
    while (outstanding_.size() > stillHeld) {
        outstandingBytes_ -= outstanding_.takeFirst();
    }
    sinceAsked_ = 0;
}

void TransmitBuffer::setUnpaced() {
    paced_ = false;
    asking_ = false;
    sinceAsked_ = 0;
    outstanding_.clear();
    outstandingBytes_ = 0;
}

qsizetype TransmitBuffer::clear() {
    const qsizetype held = heldBytes();
    waiting_.clear();
    head_ = 0;
    outstanding_.clear();
    outstandingBytes_ = 0;
    asking_ = false;
    sinceAsked_ = 0;
    freshData_ = false;
    mayCutShort_ = false;
    return held;
}
