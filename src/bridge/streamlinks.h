// The KAM's streams and the AX.25 link each one carries. A KAM has two radio ports ('1' VHF and
// '2' HF to the host) of 26 streams each ('A' to 'Z'), and every stream is an independent link:
// its own state, remote station, data and counters live in its record here and nowhere else.
// A link is found by its stream (the client's blocks) or by its engine channel (the engine's
// events); the table keeps the two in step.
#pragma once

#include "client/hostcodec.h"
#include "engine/packetengine.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <array>
#include <map>
#include <optional>

enum LinkState : quint8 {
    kDisconnected = 0,
    kConnected = 1,
    kConnectInProgress = 2,
    kDisconnectInProgress = 3,
};

// Why a link ended, as the log tells the operator.
enum class LinkEnd : quint8 { Remote, Asked, RetryOut, EngineLost, ShutDown };

struct StreamLink {
    LinkState state = kDisconnected;
    qint32 channelId = 0; // the engine's id of the link; 0 while the stream is free
    // As the engine's connection-information query reported it when the link came up.
    ConnectionInfo connection;
    QByteArray targetCall; // asked for by the connect command, as typed
    bool incoming = false;
    // Set on the client's disconnect or the engine's retry-out: the engine's own disconnect
    // event does not tell who ended the link.
    std::optional<LinkEnd> endCause;
    qint64 bytesSent = 0;     // taken by the engine for the remote station
    qint64 bytesReceived = 0; // from the remote station
    QElapsedTimer upSince;    // valid once the link has come up

    bool isFree() const { return state == kDisconnected; }
    // The remote station: as the engine reported it once the link is up, as asked before.
    const QByteArray &remoteCall() const {
        return connection.remoteCall.isEmpty() ? targetCall : connection.remoteCall;
    }
};

class StreamLinks {
public:
    static constexpr int kPorts = 2;
    static constexpr int kStreamsPerPort = 26;

    StreamLink &at(hostcodec::Stream stream) { return links_[index(stream)]; }
    const StreamLink &at(hostcodec::Stream stream) const { return links_[index(stream)]; }

    // Gives the stream's link the engine channel it now travels on.
    void assignChannel(hostcodec::Stream stream, qint32 channelId);
    std::optional<hostcodec::Stream> findByChannel(qint32 channelId) const;
    // The stream that carries a link (or an attempt) to this station, on either port.
    std::optional<hostcodec::Stream> findByRemote(const QByteArray &remoteCall) const;
    // Frees the stream for a new link; what the old one was is returned.
    StreamLink release(hostcodec::Stream stream);

    // The streams that carry a link or an attempt, in port then stream order.
    QList<hostcodec::Stream> busyStreams() const;
    // The first free stream among the first count of the port.
    std::optional<hostcodec::Stream> firstFree(char port, int count) const;

    static hostcodec::Stream streamAt(int index);

private:
    static int index(hostcodec::Stream stream);
    // Forgets the stream's channel, unless another stream's link has it now.
    void unmap(hostcodec::Stream stream);

    std::array<StreamLink, kPorts * kStreamsPerPort> links_;
    std::map<qint32, int> byChannel_; // channel id to index
};
