#include "db/Fold.h"

#include <QChar>
#include <QVarLengthArray>

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

struct Decoded {
    char32_t code;
    qsizetype length;
};

// Invalid sequences yield the single byte, marked outside the Unicode range so that it
// only ever equals the same invalid byte.
constexpr char32_t kInvalidByteMark = 0x80000000u;

inline Decoded decodeUtf8(const unsigned char *p, qsizetype available) noexcept
{
    const unsigned char b0 = p[0];
    if (b0 < 0x80)
        return {b0, 1};
    auto cont = [&](qsizetype i) { return i < available && (p[i] & 0xC0) == 0x80; };
    if (b0 >= 0xC2 && b0 <= 0xDF && cont(1))
        return {char32_t(((b0 & 0x1F) << 6) | (p[1] & 0x3F)), 2};
    if (b0 >= 0xE0 && b0 <= 0xEF && cont(1) && cont(2)) {
        const char32_t c = ((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF))
            return {c, 3};
    }
    if (b0 >= 0xF0 && b0 <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        const char32_t c = ((b0 & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6)
            | (p[3] & 0x3F);
        if (c >= 0x10000 && c <= 0x10FFFF)
            return {c, 4};
    }
    return {kInvalidByteMark | b0, 1};
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c & kInvalidByteMark) {
        out.append(char(c & 0xFF));
    } else if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

class Utf8Cursor {
public:
    explicit Utf8Cursor(QByteArrayView text)
        : m_data(reinterpret_cast<const unsigned char *>(text.data())), m_size(text.size()) {}
    bool atEnd() const noexcept { return m_pos >= m_size; }
    qsizetype position() const noexcept { return m_pos; }
    void setPosition(qsizetype pos) noexcept { m_pos = pos; }
    char32_t peek(qsizetype *length) const noexcept
    {
        const Decoded d = decodeUtf8(m_data + m_pos, m_size - m_pos);
        *length = d.length;
        return d.code;
    }
    char32_t take() noexcept
    {
        qsizetype length = 0;
        const char32_t c = peek(&length);
        m_pos += length;
        return c;
    }

private:
    const unsigned char *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
};

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
