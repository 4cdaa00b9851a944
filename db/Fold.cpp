#include "db/Fold.h"

#include <QChar>
#include <QVarLengthArray>

#include "db/Utf8.h"

namespace db {

namespace {

// Latin Extended-A alternates upper/lower case in runs; the parity of the upper-case
// letter changes between runs.
char32_t foldLatinExtendedA(char32_t c) noexcept
{
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return (c % 2 == 0) ? c + 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c % 2 == 1) ? c + 1 : c;
    if (c == 0x178)
        return 0xFF; // Ÿ
    if (c == 0x17F)
        return U's'; // long s
    return c; // İ, ı, ĸ, ŉ: no one-to-one fold
}

using namespace utf8;

inline char32_t foldAny(char32_t c) noexcept
{
    return (c & kInvalidByteMark) ? c : foldCodePoint(c);
}

} // namespace

char32_t foldCodePoint(char32_t c) noexcept
{
    if (c < 0x80)
        return (c >= U'A' && c <= U'Z') ? c + 32 : c;
    if (c < 0x100) {
        if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
            return c + 32;
        if (c == 0xB5)
            return 0x3BC; // micro sign folds to Greek mu
        return c;
    }
    if (c < 0x180)
        return foldLatinExtendedA(c);
    return QChar::toCaseFolded(c);
}

QString foldCase(QStringView text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = text[i];
        if (ch.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            const char32_t folded = foldCodePoint(QChar::surrogateToUcs4(ch, text[i + 1]));
            ++i;
            if (QChar::requiresSurrogates(folded)) {
                out.append(QChar(QChar::highSurrogate(folded)));
                out.append(QChar(QChar::lowSurrogate(folded)));
            } else {
                out.append(QChar(char16_t(folded)));
            }
            continue;
        }
        out.append(QChar(char16_t(foldCodePoint(ch.unicode()))));
    }
    return out;
}

QByteArray foldCaseUtf8(QByteArrayView utf8)
{
    QByteArray out;
    out.reserve(utf8.size());
    Utf8Cursor cursor(utf8);
    while (!cursor.atEnd())
        appendUtf8(out, foldAny(cursor.take()));
    return out;
}

namespace {

// Wildcards in a compiled pattern: values no folded code point or invalid byte takes.
constexpr char32_t kAnyOne = 0xFFFFFFF0u;
constexpr char32_t kAnyRun = 0xFFFFFFF1u;

inline bool segmentMatchesAt(const char32_t *segment, size_t length, const char32_t *text) noexcept
{
    for (size_t i = 0; i < length; ++i) {
        if (segment[i] != kAnyOne && segment[i] != text[i])
            return false;
    }
    return true;
}

} // namespace

LikePattern::LikePattern(QByteArrayView utf8Pattern, char32_t escape) : m_escape(escape)
{
    Utf8Cursor cursor(utf8Pattern);
    m_items.reserve(size_t(utf8Pattern.size()));
    while (!cursor.atEnd()) {
        const char32_t c = cursor.take();
        if (escape != 0 && c == escape) {
            m_items.push_back(cursor.atEnd() ? foldAny(c) : foldAny(cursor.take()));
        } else if (c == U'%') {
            if (m_items.empty() || m_items.back() != kAnyRun)
                m_items.push_back(kAnyRun);
        } else if (c == U'_') {
            m_items.push_back(kAnyOne);
        } else {
            m_items.push_back(foldAny(c));
        }
    }
}

bool LikePattern::matches(QByteArrayView utf8Text) const
{
    // The text folded once; then the pieces between `%` are placed left to right, each at
    // its leftmost fit, which finds a match whenever one exists.
    QVarLengthArray<char32_t, 512> text(utf8Text.size());
    const auto *bytes = reinterpret_cast<const unsigned char *>(utf8Text.data());
    const qsizetype size = utf8Text.size();
    qsizetype folded = 0;
    for (qsizetype i = 0; i < size;) {
        const unsigned char b = bytes[i];
        if (b < 0x80) { // most archive text is ASCII: no decoding
            text[folded++] = (b >= 'A' && b <= 'Z') ? char32_t(b + 32) : char32_t(b);
            ++i;
        } else {
            const Decoded d = decodeUtf8(bytes + i, size - i);
            text[folded++] = foldAny(d.code);
            i += d.length;
        }
    }
    text.resize(folded);

    const char32_t *p = m_items.data();
    const size_t m = m_items.size();
    const char32_t *t = text.constData();
    const size_t n = size_t(text.size());

    size_t firstRun = 0;
    while (firstRun < m && p[firstRun] != kAnyRun)
        ++firstRun;
    if (firstRun == m)
        return n == m && segmentMatchesAt(p, m, t);
    if (n < firstRun || !segmentMatchesAt(p, firstRun, t))
        return false;
    size_t lastRun = m - 1;
    while (p[lastRun] != kAnyRun)
        --lastRun;
    const size_t tailLength = m - lastRun - 1;
    if (n - firstRun < tailLength || !segmentMatchesAt(p + lastRun + 1, tailLength, t + n - tailLength))
        return false;

    size_t position = firstRun;
    const size_t end = n - tailLength;
    size_t segment = firstRun + 1;
    while (segment < lastRun) {
        size_t length = 0;
        while (p[segment + length] != kAnyRun)
            ++length;
        const char32_t first = p[segment];
        bool placed = false;
        for (size_t i = position; i + length <= end; ++i) {
            if ((first == kAnyOne || t[i] == first) && segmentMatchesAt(p + segment, length, t + i)) {
                position = i + length;
                placed = true;
                break;
            }
        }
        if (!placed)
            return false;
        segment += length + 1;
    }
    return true;
}

bool likeMatchUtf8(QByteArrayView pattern, QByteArrayView text, char32_t escape)
{
    return LikePattern(pattern, escape).matches(text);
}

} // namespace db
