#include "engine/callsign.h"

namespace {

constexpr qsizetype kMaxBaseLength = 6; // an AX.25 address field holds six characters
constexpr int kMaxSsid = 15;            // and four bits of SSID

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isUpperOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isValidSsid(QByteArrayView ssid) {
    if (ssid.isEmpty() || ssid.size() > 2 || ssid[0] == '0') {
        return false;
    }
    int value = 0;
    for (char c : ssid) {
        if (!isDigit(c)) {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return value <= kMaxSsid;
}

} // namespace

QByteArray canonicalCallsign(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(text[end - 1])) {
        --end;
    }
    QByteArray call = text.sliced(begin, end - begin).toByteArray().toUpper();
    if (call.endsWith("-0")) {
        call.chop(2);
    }
    return call;
}

bool isValidCallsign(QByteArrayView call) {
    const qsizetype dash = call.indexOf('-');
    const QByteArrayView base = dash < 0 ? call : call.first(dash);
    if (base.isEmpty() || base.size() > kMaxBaseLength) {
        return false;
    }
    for (char c : base) {
        if (!isUpperOrDigit(c)) {
            return false;
        }
    }
    return dash < 0 || isValidSsid(call.sliced(dash + 1));
}
