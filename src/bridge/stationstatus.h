// The station at a glance, for a front end that shows it: the engine connection, the client,
// the link and its data, and what keeps the station from working. Texts are bytes, as the
// log's; each is a value, its caption is the front end's.
#pragma once

#include <QByteArray>

struct StationStatus {
    QByteArray engine; // "ready at 127.0.0.1:8000, version 2005.127"
    QByteArray client; // "connected from 127.0.0.1:50312, host mode"
    // A line per stream with a link: "A/V W1AW connected, 120 bytes waiting"; "none".
    QByteArray links;
    QByteArray data; // "120 bytes waiting to be delivered, FREE BYTES 8072"
    // Empty while the station can work; otherwise why it cannot, in words.
    QByteArray problem;

    bool operator==(const StationStatus &) const = default;
};
