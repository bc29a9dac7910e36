#include "client/hostblockcutter.h"

#include "client/hostcodec.h"

#include <utility>

HostBlockCutter::HostBlockCutter(QByteArray &pending, QByteArrayView arrival)
    : pending_(pending), arrival_(arrival) {}

std::optional<QByteArray> HostBlockCutter::next() {
    while (position_ < arrival_.size()) {
        const qsizetype fend = arrival_.indexOf(hostcodec::kFend, position_);
        if (fend < 0) {
            const QByteArrayView rest = arrival_.sliced(position_);
            position_ = arrival_.size();
            if (pending_.isEmpty()) {
                return std::nullopt; // bytes outside any block
            }
            if (pending_.size() + rest.size() > kMaxPendingClientBytes) {
                droppedBytes_ = pending_.size() + rest.size();
                pending_.clear();
                return std::nullopt;
            }
            pending_.append(rest);
            return std::nullopt;
        }

        const QByteArrayView beforeFend = arrival_.sliced(position_, fend - position_);
        position_ = fend + 1;
        if (pending_.isEmpty()) {
            // An opening FEND; what came before it was outside any block.
            pending_.append(hostcodec::kFend);
            continue;
        }
        if (pending_.size() == 1 && beforeFend.isEmpty()) {
            continue; // FEND FEND: the second one opens the block
        }
        QByteArray block = std::exchange(pending_, QByteArray());
        block.append(beforeFend).append(hostcodec::kFend);
        return block;
    }
    return std::nullopt;
}
