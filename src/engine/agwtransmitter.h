// The links' transmit buffers towards the AGW engine: it packs each link's data into 'D' frames,
// keeps the engine supplied a few frames ahead by asking it with 'Y' what it still holds, and
// says when a link has delivered everything, so that its disconnect can follow.
//
// Learnt from Dire Wolf 1.6:
// - it empties a link's queue when told to disconnect, so a disconnect waits for the data;
// - 'Y' matches only own call first, remote second, whoever started the link;
// - 'Y' counts frames, queued and sent but unacknowledged, in the order requests came.
// An engine that does not answer 'Y' is noticed after kAnswerTimeoutMs; from then on, on that
// engine connection, data goes to it at once, as it comes.
#pragma once

#include "engine/agwlinks.h"
#include "engine/agwtransport.h"
#include "engine/transmitbuffer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <map>

class AgwTransmitter : public QObject {
    Q_OBJECT
public:
    explicit AgwTransmitter(AgwTransport &connection, QObject *parent = nullptr);

    // Takes data for a link that is up. False once the link is being disconnected at once.
    bool send(qint32 channelId, const AgwLink &link, QByteArrayView data);
    // Bytes of the link that wait here or that the engine may still hold.
    qsizetype bytesHeld(qint32 channelId) const;
    qsizetype framesHeld(qint32 channelId) const;

    // Asked to disconnect the link: true when the disconnect has to wait for data still held
    // (drained() follows once it is delivered). False when it can go at once: nothing is held,
    // or the link was already waiting (the client insists). From then on no data goes out.
    bool disconnectWhenDelivered(qint32 channelId);
    // No more data goes out for the link: it is being disconnected at once.
    void stop(qint32 channelId);
    // The engine's answer to 'Y' for the link.
    void outstandingAnswered(qint32 channelId, quint32 frames);
    // The link has ended: its data is forgotten. Returns the bytes that were not delivered.
    qsizetype forget(qint32 channelId);

signals:
    // A link waiting to disconnect has delivered all its data.
    void drained(qint32 channelId);
    // True while a link has kMaxWaitingBytes or more waiting: the client should pause.
    void holdChanged(bool held);
    void report(const QByteArray &line);

private:
    enum class Ending { None, WhenDelivered, AtOnce };
    struct Link {
        AgwFrame address; // port and callsigns of the link's 'D' and 'Y', own call first
        TransmitBuffer buffer;
        QElapsedTimer asked; // since the pending 'Y' went out
        Ending ending = Ending::None;
    };

    void onTick();
    // Hands the link's frames to the engine while its buffer lets them go.
    void pump(Link &link);
    void askOutstanding(Link &link);
    // The engine does not answer 'Y': hand everything over at once from now on.
    void goUnpaced();
    void reportDrained();
    void update();

    AgwTransport &connection_;
    std::map<qint32, Link> links_;
    QTimer tick_; // runs while any link holds data
    bool paced_ = true;
    bool held_ = false;
};
