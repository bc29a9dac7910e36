#include "bridge/numbers.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool isSkippedBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int digitValue(char c, int radix) {
    int value = -1;
    if (isDigit(c)) {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < radix ? value : -1;
}

// The characters of text that reading looks at: everything but the skipped blanks.
QByteArray withoutBlanks(QByteArrayView text) {
    QByteArray kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (!isSkippedBlank(c)) {
            kept.append(c);
        }
    }
    return kept;
}

double readRadixInteger(QByteArrayView digits, int radix) {
    double value = 0;
    for (char c : digits) {
        const int digit = digitValue(c, radix);
        if (digit < 0) {
            break;
        }
        value = value * radix + digit;
    }
    return value;
}

// The decimal order of magnitude of a mantissa (digits with at most one full stop) times ten to
// the power exponent (digits with an optional sign): 2 for "123.4" and "", -3 for "0.005" and "",
// 1 for "0.5" and "+2". Exponents of any length are read saturated: the order only has to say
// whether a number out of a double's range is too large or too small.
qint64 decimalOrder(QByteArrayView digits, QByteArrayView exponent) {
    constexpr qint64 kSaturated = qint64(1) << 40;
    qint64 exponentValue = 0;
    for (char c : exponent) {
        if (isDigit(c)) {
            exponentValue = std::min(exponentValue * 10 + (c - '0'), kSaturated);
        }
    }
    if (exponent.startsWith('-')) {
        exponentValue = -exponentValue;
    }
    const qsizetype point = digits.contains('.') ? digits.indexOf('.') : digits.size();
    for (qsizetype k = 0; k < digits.size(); ++k) {
        if (isDigit(digits[k]) && digits[k] != '0') {
            return exponentValue + (k < point ? point - k - 1 : point - k);
        }
    }
    return -kSaturated; // all zeros
}

} // namespace

double readNumber(QByteArrayView text) {
    const QByteArray s = withoutBlanks(text);
    if (s.size() >= 2 && s[0] == '&') {
        const char kind = s[1];
        if (kind == 'H' || kind == 'h') {
            return readRadixInteger(QByteArrayView(s).sliced(2), 16);
        }
        if (kind == 'O' || kind == 'o') {
            return readRadixInteger(QByteArrayView(s).sliced(2), 8);
        }
        return 0;
    }

    // Collect the longest prefix that forms a decimal number: a sign, the mantissa, and an
    // exponent with D written as E.
    qsizetype i = 0;
    const bool negative = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    const qsizetype mantissaStart = i;
    bool sawDigit = false;
    bool sawPoint = false;
    for (; i < s.size(); ++i) {
        if (isDigit(s[i])) {
            sawDigit = true;
        } else if (s[i] == '.' && !sawPoint) {
            sawPoint = true;
        } else {
            break;
        }
    }
    if (!sawDigit) {
        return 0;
    }
    const QByteArrayView mantissa = QByteArrayView(s).sliced(mantissaStart, i - mantissaStart);
    QByteArray exponent;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        qsizetype j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponent.append(s[j++]);
        }
        const qsizetype firstExponentDigit = j;
        while (j < s.size() && isDigit(s[j])) {
            exponent.append(s[j++]);
        }
        if (j == firstExponentDigit) {
            exponent.clear();
        }
    }
    bool ok = false;
    const QByteArray number =
        (negative ? "-" : "") + mantissa.toByteArray() + (exponent.isEmpty() ? "" : "e" + exponent);
    const double value = number.toDouble(&ok);
    if (ok) {
        return value;
    }
    // Out of a double's range: too small a number reads as 0, too large as infinity.
    if (decimalOrder(mantissa, exponent) < 0) {
        return 0;
    }
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
}

std::optional<bool> readBoolean(QByteArrayView text) {
    if (text.compare("true", Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (text.compare("false", Qt::CaseInsensitive) == 0) {
        return false;
    }
    static const QRegularExpression decimal(
        QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eEdD][+-]?\d+)?$)"));
    const QString latin1 = QString::fromLatin1(text);
    if (!decimal.match(latin1).hasMatch()) {
        return std::nullopt;
    }
    return readNumber(text) != 0;
}

QByteArray leadingBlankNumber(double value) {
    QByteArray digits = QByteArray::number(std::abs(value), 'g', 15).toUpper();
    return (value < 0 ? "-" : " ") + digits;
}

std::optional<qint32> roundHalfEven(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double rounded = std::nearbyint(value); // the default rounding mode: halves to even
    if (rounded < std::numeric_limits<qint32>::min() ||
        rounded > std::numeric_limits<qint32>::max()) {
        return std::nullopt;
    }
    return static_cast<qint32>(rounded);
}
