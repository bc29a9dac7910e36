#include "client/hostcodec.h"

#include <algorithm>
#include <cstring>

namespace hostcodec {

namespace {

// Type, port and stream.
constexpr qsizetype kHeaderLength = 3;

} // namespace

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
    QByteArray escaped(data.size() * 2, Qt::Uninitialized); // each byte doubles at most
    char *out = escaped.data();
    const char *next = data.data();
    const char *const end = next + data.size();
    // Where the next FEND and the next FESC are; each is searched for again only once passed,
    // so every byte is looked at once per kind. The first search is in the loop, where the data
    // is known not to be empty (memchr must not be given a null pointer, even for no bytes).
    const char *fend = next;
    const char *fesc = next;
    while (next < end) {
        if (fend <= next) {
            fend = find(next, end, kFend);
        }
        if (fesc <= next) {
            fesc = find(next, end, kFesc);
        }
        const char *const special = std::min(fend, fesc);
        std::memcpy(out, next, size_t(special - next));
        out += special - next;
        // A stretch of FEND and FESC is escaped here, without a search for each one.
        for (next = special; next < end && (*next == kFend || *next == kFesc); ++next) {
            *out++ = kFesc;
            *out++ = *next == kFend ? kTfend : kTfesc;
        }
    }
    escaped.truncate(out - escaped.constData());
    return escaped;
}

QByteArray unescape(QByteArrayView data) {
    QByteArray plain(data.size(), Qt::Uninitialized); // never longer than the data
    char *out = plain.data();
    const char *next = data.data();
    const char *const end = next + data.size();
    while (next < end) {
        // Escapes side by side are taken one after the other, without a search for each.
        if (*next != kFesc) {
            const char *const fesc = find(next, end, kFesc);
            std::memcpy(out, next, size_t(fesc - next));
            out += fesc - next;
            next = fesc;
            continue;
        }
        if (next + 1 == end) {
            break; // a FESC with nothing after it escapes nothing
        }
        const char escaped = next[1];
        *out++ = escaped == kTfend ? kFend : escaped == kTfesc ? kFesc : escaped;
        next += 2;
    }
    plain.truncate(out - plain.constData());
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
    const QByteArrayView inside =
        block.size() >= 2 ? block.sliced(1, block.size() - 2) : QByteArrayView();
    BlockFields fields;
    fields.header = inside.first(qMin(kHeaderLength, inside.size()));
    if (inside.size() > kHeaderLength) {
        fields.data = inside.sliced(kHeaderLength);
    }
    return fields;
}

std::optional<Stream> headerStream(QByteArrayView header) {
    if (header.size() != kHeaderLength) {
        return std::nullopt;
    }
    const Stream stream{header[1], header[2]};
    if ((stream.port != '1' && stream.port != '2') || (!stream.isLink() && stream.letter != '0')) {
        return std::nullopt;
    }
    return stream;
}

} // namespace hostcodec
