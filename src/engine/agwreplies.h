// The engine's answers to the two readiness queries: 'R' (version) and 'G' (radio ports).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Radio ports count from 1 as in the engine's own "Port1" names; the frame's port byte is one
// less and holds at most 255.
constexpr qint32 kMaxRadioPort = 256;

// "<major>.<minor>" from an 'R' reply: two little-endian 32-bit numbers (a 16-bit number with
// two reserved bytes each). Missing bytes read as 0.
QByteArray versionText(QByteArrayView data);

// The ports that a 'G' reply ("<count>;Port1 <description>;Port2 ...;" and a NUL) lists with a
// real description, in ascending order. The count is ignored: Dire Wolf counts only configured
// ports yet lists every "PortN", the unconfigured ones as "INVALID CHANNEL".
QList<qint32> realRadioPorts(QByteArrayView data);
