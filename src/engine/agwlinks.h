// The control's record of the engine's links. The engine names a link only by the port byte of
// its frames and two callsigns, own then remote in requests but remote then own in events; the
// bridge names it by a channel id. This record joins the two, matching calls as an unordered
// pair.
#pragma once

#include "engine/agwframe.h"
#include "engine/packetengine.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <map>
#include <optional>

struct AgwLink {
    quint8 wirePort = 0; // the port byte of the link's frames
    QByteArray ownCall;  // canonical, as on the wire
    QByteArray remoteCall;
    ConnectionInfo info; // what the connection-information query reports; radio port from 1
    bool up = false;     // the engine has reported the link connected: only now may data go
    // The bridge has called the connect attempt off and forgotten it: should it still succeed,
    // the link goes down at once, and its end is nobody's business.
    bool calledOff = false;
    // A connect request held back until a fresh engine connection is ready.
    bool requestWaiting = false;
    AgwFrame waitingRequest;
};

class AgwLinks {
public:
    // A channel id that no link holds, counted from 1 (0 means "no link" to the bridge). Ids
    // are not reused until the count wraps, so a stale id never names a new link.
    qint32 newChannelId();

    void insert(qint32 channelId, AgwLink link);
    AgwLink *find(qint32 channelId);
    std::optional<qint32> findByCalls(quint8 wirePort, QByteArrayView callA,
                                      QByteArrayView callB) const;
    std::optional<AgwLink> take(qint32 channelId);
    // Forgets every link and returns their channel ids in ascending order.
    QList<qint32> takeAll();

    QList<qint32> channelIds() const;
    qsizetype size() const { return qsizetype(links_.size()); }
    bool isEmpty() const { return links_.empty(); }

private:
    std::map<qint32, AgwLink> links_;
    qint32 lastChannelId_ = 0;
};
