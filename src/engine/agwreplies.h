// The engine's answer to the version query 'R'; the port query's is read by AgwRadioPorts.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

// "<major>.<minor>" from an 'R' reply: two little-endian 32-bit numbers (a 16-bit number with
// two reserved bytes each). Missing bytes read as 0.
QByteArray versionText(QByteArrayView data);
