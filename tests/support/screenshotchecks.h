// Checks on a picture of the main window, for a window the test cannot look into (the Windows
// build under Wine): the one-line boxes are the small white areas of the picture. Each must show
// ink clear of its edges (its text whole), and the caption left of it must end in the colon that
// every caption has (a caption drawn too narrow loses it first).
#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

namespace screenshotchecks {

// Sizes a one-line box's white inside may have, wider than tall: the log is larger, a glyph of
// white text smaller, a scroll bar's button (white under Wine) square.
constexpr int kMinBoxHeight = 10;
constexpr int kMaxBoxHeight = 60;
constexpr int kMaxBoxWidth = 300;
// How far a pixel's grey may be from the background's and still count as background: for the
// ink of a glyph, and for the faintest shade of its edges.
constexpr int kInkContrast = 40;
constexpr int kShadeContrast = 10;
// A colon's dots are this wide at least, shaded edges included; one cut by its caption's edge
// shows less.
constexpr int kMinColonWidth = 2;
// The pixels at the corners of a box's inside that its frame may shade: a line edit keeps its
// text 2 pixels from the sides, and a style may round the corners.
constexpr int kCornerShade = 2;

inline bool isWhite(QRgb pixel) {
    return (pixel & 0xFFFFFF) == 0xFFFFFF;
}

// The white areas that have the size of a box's inside, left to right.
inline QList<QRect> boxInsides(const QImage &shot) {
    const int width = shot.width();
    std::vector<char> seen(std::size_t(width) * std::size_t(shot.height()), 0);
    QList<QRect> insides;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < width; ++x) {
            if (seen[std::size_t(y) * width + x] || !isWhite(shot.pixel(x, y))) {
                continue;
            }
            // One area of white pixels, four-connected.
            QRect area;
            std::vector<QPoint> todo{{x, y}};
            seen[std::size_t(y) * width + x] = 1;
            while (!todo.empty()) {
                const QPoint at = todo.back();
                todo.pop_back();
                area |= QRect(at, QSize(1, 1));
                for (const QPoint next :
                     {at + QPoint(1, 0), at - QPoint(1, 0), at + QPoint(0, 1), at - QPoint(0, 1)}) {
                    if (shot.rect().contains(next) &&
                        !seen[std::size_t(next.y()) * width + next.x()] &&
                        isWhite(shot.pixel(next))) {
                        seen[std::size_t(next.y()) * width + next.x()] = 1;
                        todo.push_back(next);
                    }
                }
            }
            if (area.height() >= kMinBoxHeight && area.width() > area.height() &&
                area.width() <= kMaxBoxWidth && area.height() <= kMaxBoxHeight) {
                insides.append(area);
            }
        }
    }
    std::sort(insides.begin(), insides.end(),
              [](const QRect &a, const QRect &b) { return a.left() < b.left(); });
    return insides;
}

// The colour most of the picture has, white and black (text, an empty screen) aside.
inline QRgb background(const QImage &shot) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb pixel = shot.pixel(x, y) & 0xFFFFFF;
            if (pixel != 0xFFFFFF && pixel != 0) {
                ++counts[pixel];
            }
        }
    }
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](auto a, auto b) { return a.second < b.second; });
    return most == counts.end() ? 0 : most->first;
}

inline bool isInk(QRgb pixel, QRgb backdrop, int contrast = kInkContrast) {
    return std::abs(qGray(pixel) - qGray(backdrop)) > contrast;
}

// Runs of ink rows in the columns [left, right] of rows [top, bottom].
inline QList<std::pair<int, int>> inkRuns(const QImage &shot, QRgb backdrop, int left, int right,
                                          int top, int bottom) {
    QList<std::pair<int, int>> runs;
    for (int y = top; y <= bottom; ++y) {
        bool ink = false;
        for (int x = left; x <= right && !ink; ++x) {
            ink = isInk(shot.pixel(x, y), backdrop);
        }
        if (ink && !runs.isEmpty() && runs.last().second == y - 1) {
            runs.last().second = y;
        } else if (ink) {
            runs.append({y, y});
        }
    }
    return runs;
}

// What is wrong with the box whose inside is given: empty when it shows text clear of its
// edges: below the top, above the bottom, and off the sides (text too wide for the box is
// scrolled, and cut where it meets a side).
inline QString boxProblem(const QImage &shot, const QRect &inside) {
    constexpr QRgb kWhite = 0xFFFFFFFF;
    const int left = inside.left() + kCornerShade;
    const int right = inside.right() - kCornerShade;
    const QList<std::pair<int, int>> runs =
        inkRuns(shot, kWhite, left, right, inside.top(), inside.bottom());
    if (runs.isEmpty()) {
        return QStringLiteral("shows no text");
    }
    const int textTop = runs.first().first;
    const int textBottom = runs.last().second;
    if (textTop == inside.top() || textBottom == inside.bottom() ||
        !inkRuns(shot, kWhite, inside.left(), inside.left(), textTop, textBottom).isEmpty() ||
        !inkRuns(shot, kWhite, inside.right(), inside.right(), textTop, textBottom).isEmpty()) {
        return QStringLiteral("cuts its text");
    }
    return {};
}

// What is wrong with the caption left of the box whose inside is given: empty when its last
// glyph is a whole colon: two dots one above the other, neither taller than the gap and the
// other, and as wide as a colon's dots are.
inline QString captionProblem(const QImage &shot, QRgb backdrop, const QRect &inside) {
    const int top = inside.top() - 2;
    const int bottom = inside.bottom() + 2;
    auto inkInEveryRow = [&](int x) {
        for (int y = inside.top() + kCornerShade; y <= inside.bottom() - kCornerShade; ++y) {
            if (!isInk(shot.pixel(x, y), backdrop)) {
                return false;
            }
        }
        return true;
    };
    auto anyInk = [&](int x) { return !inkRuns(shot, backdrop, x, x, top, bottom).isEmpty(); };
    // The box's frame: columns of ink from top to bottom. Then the gap, if any.
    int x = inside.left() - 1;
    while (x > 0 && inkInEveryRow(x)) {
        --x;
    }
    const int besideFrame = x;
    while (x > 0 && !anyInk(x)) {
        --x;
    }
    // The last glyph: the columns of ink up to the next gap.
    const int glyphRight = x;
    while (x > 0 && anyInk(x)) {
        --x;
    }
    const QList<std::pair<int, int>> runs = inkRuns(shot, backdrop, x + 1, glyphRight, top, bottom);
    const int height = runs.isEmpty() ? 0 : runs.last().second - runs.first().first + 1;
    int shadedWidth = 0;
    for (int column = x + 1; column <= besideFrame; ++column) {
        bool shaded = false;
        for (const auto &[first, last] : runs) {
            for (int y = first; y <= last && !shaded; ++y) {
                shaded = isInk(shot.pixel(column, y), backdrop, kShadeContrast);
            }
        }
        shadedWidth += shaded ? 1 : 0;
    }
    const bool colon = runs.size() == 2 && shadedWidth >= kMinColonWidth &&
                       std::all_of(runs.begin(), runs.end(), [height](auto run) {
                           return 2 * (run.second - run.first + 1) <= height;
                       });
    return colon ? QString() : QStringLiteral("caption does not end in a colon");
}

} // namespace screenshotchecks

// The boxes of the main window in a picture of it that do not show their text whole or whose
// caption is cut, as "box N: problem" counted from the left; empty when all three read.
inline QStringList unreadableBoxes(const QImage &picture) {
    using namespace screenshotchecks;
    const QImage shot = picture.convertToFormat(QImage::Format_RGB32);
    const QList<QRect> insides = boxInsides(shot);
    if (insides.size() != 3) {
        return {QStringLiteral("%1 boxes found, not 3").arg(insides.size())};
    }
    const QRgb backdrop = background(shot);
    QStringList problems;
    for (qsizetype i = 0; i < insides.size(); ++i) {
        for (const QString &problem :
             {boxProblem(shot, insides[i]), captionProblem(shot, backdrop, insides[i])}) {
            if (!problem.isEmpty()) {
                problems << QStringLiteral("box %1: %2").arg(i + 1).arg(problem);
            }
        }
    }
    return problems;
}
