// The event log: one line per notable event, bounded so that a long run cannot fill memory.
#include "bridge/bridge.h"

namespace {

// The log never grows past this many characters...
constexpr qsizetype kMaxLogChars = 30000;
// ...and when a line would take it past, only this tail of it is kept.
constexpr qsizetype kLogCharsKeptByCut = 5000;

} // namespace

void Bridge::logLine(const QByteArray &text) {
    const QByteArray line = text + "\r\n";
    if (viewOutput_.size() + line.size() > kMaxLogChars) {
        viewOutput_ = viewOutput_.right(kLogCharsKeptByCut);
        frontEnd_.logCut(viewOutput_);
    }
    viewOutput_ += line;
    frontEnd_.logAppended(line);
}
