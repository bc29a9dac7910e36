#include "bridge/streamlinks.h"

#include "engine/callsign.h"

#include <utility>

int StreamLinks::index(hostcodec::Stream stream) {
    return (stream.port == '2' ? kStreamsPerPort : 0) + (stream.letter - 'A');
}

hostcodec::Stream StreamLinks::streamAt(int index) {
    return {index < kStreamsPerPort ? '1' : '2', char('A' + index % kStreamsPerPort)};
}

void StreamLinks::assignChannel(hostcodec::Stream stream, qint32 channelId) {
    unmap(stream);
    StreamLink &link = at(stream);
    link.channelId = channelId;
    byChannel_[channelId] = index(stream);
}

std::optional<hostcodec::Stream> StreamLinks::findByChannel(qint32 channelId) const {
    const auto found = byChannel_.find(channelId);
    if (found == byChannel_.end()) {
        return std::nullopt;
    }
    return streamAt(found->second);
}

std::optional<hostcodec::Stream> StreamLinks::findByRemote(const QByteArray &remoteCall) const {
    const QByteArray wanted = canonicalCallsign(remoteCall);
    for (const auto &[channelId, at] : byChannel_) {
        if (canonicalCallsign(links_[at].remoteCall()) == wanted) {
            return streamAt(at);
        }
    }
    return std::nullopt;
}

StreamLink StreamLinks::release(hostcodec::Stream stream) {
    unmap(stream);
    return std::exchange(at(stream), StreamLink());
}

void StreamLinks::unmap(hostcodec::Stream stream) {
    // A channel that a newer link has taken over stays that link's.
    const auto found = byChannel_.find(at(stream).channelId);
    if (found != byChannel_.end() && found->second == index(stream)) {
        byChannel_.erase(found);
    }
}

QList<hostcodec::Stream> StreamLinks::busyStreams() const {
    QList<hostcodec::Stream> busy;
    for (int i = 0; i < int(links_.size()); ++i) {
        if (!links_[i].isFree()) {
            busy.append(streamAt(i));
        }
    }
    return busy;
}

std::optional<hostcodec::Stream> StreamLinks::firstFree(char port, int count) const {
    for (char letter = 'A'; letter < 'A' + count && letter <= 'Z'; ++letter) {
        if (at({port, letter}).isFree()) {
            return hostcodec::Stream{port, letter};
        }
    }
    return std::nullopt;
}
