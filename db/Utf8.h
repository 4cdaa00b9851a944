#pragma once
// UTF-8 decoding and encoding shared by the folds: invalid bytes survive as themselves.
#include <QByteArray>

namespace db::utf8 {

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

inline void appendUtf8(QByteArray &out, char32_t c)
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

} // namespace db::utf8
