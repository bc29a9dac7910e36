// The engine's radio ports as its port list (the 'G' answer) names them, and the port byte that
// the frames of each carry. Radio ports are the list's "PortN" numbers, counted from 1 as the
// operator sees them. Two ways of listing are known:
// - Dire Wolf lists every port it could have, "PortN" for frame port N-1, and the ones not
//   configured as "INVALID CHANNEL";
// - QtSoundModem lists only the modems that are on, numbered in sequence, each with its
//   sound-card channel ("1;Port1 with SoundCard Ch B;"); its frames carry the channel's index
//   (B is 1). Older builds list all four channels, the ones that are off as "Disabled".
#pragma once

#include <QByteArrayView>
#include <QList>

#include <map>

class AgwRadioPorts {
public:
    // The ports of a 'G' answer ("<count>;Port1 <description>;Port2 ...;" and a NUL). The count
    // is ignored: Dire Wolf counts only configured ports yet lists all.
    static AgwRadioPorts fromPortList(QByteArrayView data);

    bool isEmpty() const { return wirePorts_.empty(); }
    qsizetype size() const { return qsizetype(wirePorts_.size()); }
    bool contains(qint32 radioPort) const { return wirePorts_.count(radioPort) != 0; }
    // The frame port byte of a listed radio port.
    quint8 wirePort(qint32 radioPort) const;
    // The frame port bytes of every listed port, in the order of their radio ports.
    QList<quint8> wirePorts() const;
    // The radio port whose frames carry wirePort; one the list does not name is counted as
    // Dire Wolf counts it, from 1.
    qint32 radioPort(quint8 wirePort) const;

private:
    std::map<qint32, quint8> wirePorts_; // by radio port
};
