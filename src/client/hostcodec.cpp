#include "client/hostcodec.h"

#include <algorithm>
#include <cstring>

namespace hostcodec {

QByteArray frame(QByteArrayView text) {
    QByteArray framed;
    framed.reserve(text.size() + 2);
    framed.append(kFend).append(text).append(kFend);
    return framed;
}

bool isFramed(QByteArrayView block, QByteArrayView content) {
    return block.size() == content.size() + 2 && block.front() == kFend && block.back() == kFend &&
           block.sliced(1, content.size()) == content;
}

namespace {

// The first c in [from, end), or end. Data between special bytes is copied in runs, so the
// codec costs about what finding them costs.
const char *find(const char *from, const char *end, char c) {
    const void *found = std::memchr(from, c, size_t(end - from));
    return found ? static_cast<const char *>(found) : end;
}

} // namespace

QByteArray escape(QByteArrayView data) {
    QByteArray escaped;
    if (data.isEmpty()) {
        return escaped; // an empty view may hold a null pointer, which memchr must not get
    }
    escaped.reserve(data.size());
    const char *next = data.data();
    const char *const end = next + data.size();
    // Where the next FEND and the next FESC are; each is searched for again only once passed,
    // so every byte is looked at once per kind.
    const char *fend = find(next, end, kFend);
    const char *fesc = find(next, end, kFesc);
    while (next < end) {
        const char *special = std::min(fend, fesc);
        escaped.append(next, special - next);
        if (special == end) {
            break;
        }
        escaped.append(kFesc).append(special == fend ? kTfend : kTfesc);
        next = special + 1;
        if (special == fend) {
            fend = find(next, end, kFend);
        } else {
            fesc = find(next, end, kFesc);
        }
    }
    return escaped;
}

QByteArray unescape(QByteArrayView data) {
    QByteArray plain;
    plain.reserve(data.size());
    const char *next = data.data();
    const char *const end = next + data.size();
    while (next < end) {
        const char *fesc = find(next, end, kFesc);
        plain.append(next, fesc - next);
        if (fesc == end || fesc + 1 == end) {
            break; // no FESC left, or one with nothing after it: it escapes nothing
        }
        const char escaped = fesc[1];
        plain.append(escaped == kTfend ? kFend : escaped == kTfesc ? kFesc : escaped);
        next = fesc + 2;
    }
    return plain;
}

Framing checkFraming(QByteArrayView block) {
    if (block.isEmpty() || block.front() != kFend) {
        return Framing::FirstByteNotFend;
    }
    if (block.back() != kFend) {
        return Framing::LastByteNotFend;
    }
    return Framing::Ok;
}

BlockFields splitBlock(QByteArrayView block) {
    constexpr qsizetype kHeaderLength = 3;
    const QByteArrayView inside =
        block.size() >= 2 ? block.sliced(1, block.size() - 2) : QByteArrayView();
    const auto character = [inside](qsizetype i) {
        return i < inside.size() ? QByteArray(1, inside[i]) : QByteArray();
    };
    BlockFields fields;
    fields.type = character(0);
    fields.port = character(1);
    fields.stream = character(2);
    if (inside.size() > kHeaderLength) {
        fields.data = inside.sliced(kHeaderLength).toByteArray();
    }
    return fields;
}

} // namespace hostcodec
