// How many streams of each radio port the KAM offers (MAXUSERS) and how many of them take
// incoming calls (USERS), as the client sets them. Both are dual-port values written "hf/vhf":
// the HF half is port '2', the VHF half port '1'. "X/Y" sets both, "X/" only HF, "/Y" only VHF,
// and a single value both.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>

class StreamLimits {
public:
    // A KAM's defaults: ten streams a port, the first of them for callers.
    static constexpr int kDefaultMaxUsers = 10;
    static constexpr int kDefaultUsers = 1;
    static constexpr int kMaxStreams = 26;

    // Takes a MAXUSERS or USERS value; a half that is not a number leaves that port as it was.
    void setMaxUsers(QByteArrayView value) { setDual(maxUsers_, value); }
    void setUsers(QByteArrayView value) { setDual(users_, value); }

    // The streams of the port that may carry links, counted from A. MAXUSERS 0/0 leaves one
    // link in all, on either port, so each port keeps its first stream for it.
    int streamsOn(char port) const;
    // The streams of the port that take incoming calls, counted from A; never more than exist.
    int callerStreamsOn(char port) const;
    // MAXUSERS 0/0: one link in all, whichever port it is on.
    bool singleLink() const { return maxUsers_[0] == 0 && maxUsers_[1] == 0; }

    // "10/10", as the KAM shows a dual-port value: HF first.
    static QByteArray show(const std::array<int, 2> &byPort);
    const std::array<int, 2> &maxUsers() const { return maxUsers_; }
    const std::array<int, 2> &users() const { return users_; }

private:
    static int portIndex(char port) { return port == '2' ? 1 : 0; }
    static void setDual(std::array<int, 2> &byPort, QByteArrayView value);

    // Indexed by portIndex: port '1' (VHF) first.
    std::array<int, 2> maxUsers_{kDefaultMaxUsers, kDefaultMaxUsers};
    std::array<int, 2> users_{kDefaultUsers, kDefaultUsers};
};
