#include "client/hostblockcutter.h"

#include "client/hostcodec.h"

#include <utility>

HostBlockCutter::HostBlockCutter(QByteArray &pending, QByteArrayView arrival)
    : pending_(pending), arrival_(arrival) {}

std::optional<CutBlock> HostBlockCutter::next() {
    while (position_ < arrival_.size()) {
        const qsizetype fend = arrival_.indexOf(hostcodec::kFend, position_);
        if (fend < 0) {
            const QByteArrayView rest = arrival_.sliced(position_);
            position_ = arrival_.size();
            if (pending_.isEmpty()) {
                return std::nullopt; // bytes outside any block
            }
            if (pending_.size() + rest.size() > kMaxPendingClientBytes) {
                const qsizetype dropped = pending_.size() + rest.size();
                pending_.clear();
                return CutBlock{{}, dropped};
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
        if (pending_.size() + beforeFend.size() > kMaxPendingClientBytes) {
            // As if the bound had been passed before this FEND arrived: the FEND opens a block.
            const qsizetype dropped = pending_.size() + beforeFend.size();
            pending_ = QByteArray(1, hostcodec::kFend);
            return CutBlock{{}, dropped};
        }
        QByteArray block = std::exchange(pending_, QByteArray());
        block.append(beforeFend).append(hostcodec::kFend);
        return CutBlock{std::move(block), 0};
    }
    return std::nullopt;
}
