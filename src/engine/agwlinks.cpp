#include "engine/agwlinks.h"

#include <limits>

qint32 AgwLinks::newChannelId() {
    do {
        lastChannelId_ =
            lastChannelId_ == std::numeric_limits<qint32>::max() ? 1 : lastChannelId_ + 1;
    } while (links_.count(lastChannelId_) != 0);
    return lastChannelId_;
}

void AgwLinks::insert(qint32 channelId, AgwLink link) {
    links_.insert_or_assign(channelId, std::move(link));
}

AgwLink *AgwLinks::find(qint32 channelId) {
    const auto it = links_.find(channelId);
    return it == links_.end() ? nullptr : &it->second;
}

std::optional<qint32> AgwLinks::findByCalls(quint8 wirePort, QByteArrayView callA,
                                            QByteArrayView callB) const {
    for (const auto &[channelId, link] : links_) {
        if (link.wirePort == wirePort && ((link.ownCall == callA && link.remoteCall == callB) ||
                                          (link.ownCall == callB && link.remoteCall == callA))) {
            return channelId;
        }
    }
    return std::nullopt;
}

std::optional<AgwLink> AgwLinks::take(qint32 channelId) {
    const auto it = links_.find(channelId);
    if (it == links_.end()) {
        return std::nullopt;
    }
    AgwLink link = std::move(it->second);
    links_.erase(it);
    return link;
}

QList<qint32> AgwLinks::takeAll() {
    const QList<qint32> ids = channelIds();
    links_.clear();
    return ids;
}

QList<qint32> AgwLinks::channelIds() const {
    QList<qint32> ids;
    for (const auto &entry : links_) {
        ids.append(entry.first);
    }
    return ids;
}
