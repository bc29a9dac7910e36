// Host-mode blocks as the bridge uses them: splitting a received block into its fields, framing
// replies, and the data escapes in both directions.
#include "app/bridge.h"
#include "client/hostcodec.h"

#include <utility>

void Bridge::extractBlock(const QByteArray &block) {
    switch (hostcodec::checkFraming(block)) {
    case hostcodec::Framing::FirstByteNotFend:
        logLine("BLOCK ERROR first byte not FEND");
        return;
    case hostcodec::Framing::LastByteNotFend:
        logLine("BLOCK ERROR last byte not FEND");
        return;
    case hostcodec::Framing::Ok:
        break;
    }
    hostcodec::BlockFields fields = hostcodec::splitBlock(block);
    s_.blockType = std::move(fields.type);
    s_.blockPort = std::move(fields.port);
    s_.blockStream = std::move(fields.stream);
    s_.blockData = std::move(fields.data);
}

void Bridge::sendBlock(const QByteArray &text) {
    sendRaw(hostcodec::frame(text));
}

QByteArray Bridge::KAMtoAX25(QByteArray &datablock) {
    datablock = hostcodec::unescape(datablock);
    return datablock;
}

QByteArray Bridge::AX25toKAM(QByteArray &datablock) {
    datablock = hostcodec::escape(datablock);
    return datablock;
}
