#include "db/AccentFold.h"

#include "db/Fold.h"
#include "db/Utf8.h"

#include <QChar>
#include <QList>
#include <vector>

using namespace Qt::StringLiterals;

namespace db {

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// Latin letters (and the ligatures of the alphabetic presentation forms) looked at.
constexpr Range kLatinLetters[] = {
    {0x00C0, 0x024F}, {0x1E00, 0x1EFF}, {0x2C60, 0x2C7F}, {0xA720, 0xA7FF}, {0xAB30, 0xAB6F}, {0xFB00, 0xFB06},
};

// Combining marks, dropped wherever they stand (text written decomposed, NFD).
constexpr Range kCombiningMarks[] = {
    {0x0300, 0x036F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x20D0, 0x20FF}, {0xFE20, 0xFE2F},
};

// Letters whose mark is part of their shape (no decomposition), by their folded form.
struct Spelling {
    char32_t letter;
    const char16_t *plain;
};
constexpr Spelling kPlainSpellings[] = {
    {0x00DF, u"ss"}, {0x00E6, u"ae"}, {0x00F0, u"d"}, {0x00F8, u"o"},  {0x00FE, u"th"}, {0x0111, u"d"},
    {0x0127, u"h"},  {0x0131, u"i"},  {0x0142, u"l"}, {0x0153, u"oe"}, {0x0167, u"t"},  {0x0180, u"b"},
    {0x0188, u"c"},  {0x018C, u"d"},  {0x0192, u"f"}, {0x0199, u"k"},  {0x019A, u"l"},  {0x019E, u"n"},
    {0x01A5, u"p"},  {0x01AB, u"t"},  {0x01AD, u"t"}, {0x01B4, u"y"},  {0x01B6, u"z"},  {0x01E5, u"g"},
    {0x0221, u"d"},  {0x0234, u"l"},  {0x0235, u"n"}, {0x0236, u"t"},  {0x0237, u"j"},  {0x023C, u"c"},
    {0x023F, u"s"},  {0x0240, u"z"},  {0x0247, u"e"}, {0x0249, u"j"},  {0x024B, u"q"},  {0x024D, u"r"},
    {0x024F, u"y"},  {0x1E9E, u"ss"}, {0x2C65, u"a"}, {0x2C66, u"t"},  {0x2C68, u"h"},  {0x2C6A, u"k"},
    {0x2C6C, u"z"},
};

bool inAny(char32_t c, std::span<const Range> ranges)
{
    for (const Range &r : ranges) {
        if (c >= r.first && c <= r.last)
            return true;
    }
    return false;
}

bool isMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing;
}

QString character(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

// A folded Latin letter without its marks: compatibility decomposition (ligatures come
// apart, "ǆ" -> "dž"), marks dropped, case folded again, and what is left spelled plainly
// in turn ("ǣ" -> "æ" -> "ae").
QString withoutMarks(char32_t letter)
{
    for (const Spelling &s : kPlainSpellings) {
        if (s.letter == letter)
            return QString::fromUtf16(s.plain);
    }
    QString base;
    for (const char32_t c : character(letter).normalized(QString::NormalizationForm_KD).toUcs4()) {
        if (isMark(c))
            continue;
        const char32_t folded = foldCodePoint(c);
        base += folded != letter && inAny(folded, kLatinLetters) ? withoutMarks(folded) : character(folded);
    }
    return base;
}

struct Map {
    std::vector<QString> targets;        // kept here; the entries view them
    std::vector<AccentFoldEntry> entries;
    std::vector<quint16> slot;           // by code point below kSlots: entry + 1, or 0
};

constexpr char32_t kSlots = 0x10000; // every code point the map names is below

Map buildMap()
{
    Map map;
    std::vector<std::pair<char32_t, QString>> found;
    for (char32_t c = 0; c < kSlots; ++c) {
        if (QChar::isSurrogate(c) || foldCodePoint(c) != c)
            continue; // only folded letters are looked up
        if (inAny(c, kCombiningMarks))
            found.emplace_back(c, QString());
        else if (inAny(c, kLatinLetters)) {
            QString plain = withoutMarks(c);
            if (plain != character(c))
                found.emplace_back(c, std::move(plain));
        }
    }
    map.targets.reserve(found.size());
    map.slot.assign(kSlots, 0);
    for (auto &[from, to] : found) {
        map.targets.push_back(std::move(to));
        map.slot[from] = quint16(map.targets.size());
    }
    for (size_t i = 0; i < found.size(); ++i)
        map.entries.push_back({found[i].first, map.targets[i]});
    return map;
}

const Map &theMap()
{
    static const Map map = buildMap();
    return map;
}

// What one code point (of the text, or an invalid byte) becomes; nullptr: only its fold.
inline const QString *target(const Map &map, char32_t folded)
{
    if (folded >= kSlots)
        return nullptr;
    const quint16 slot = map.slot[folded];
    return slot ? &map.targets[slot - 1] : nullptr;
}

} // namespace

std::span<const AccentFoldEntry> accentFoldMap()
{
    return theMap().entries;
}

QString foldAccents(QStringView text)
{
    const Map &map = theMap();
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toString().toUcs4()) {
        const char32_t folded = foldCodePoint(c);
        if (const QString *to = target(map, folded))
            out += *to;
        else
            out += character(folded);
    }
    return out;
}

QByteArray foldAccentsUtf8(QByteArrayView utf8)
{
    const Map &map = theMap();
    QByteArray out;
    out.reserve(utf8.size());
    utf8::Utf8Cursor cursor(utf8);
    while (!cursor.atEnd()) {
        const char32_t c = cursor.take();
        if (c < 0x80) {
            out.append(char((c >= U'A' && c <= U'Z') ? c + 32 : c));
            continue;
        }
        const char32_t folded = (c & utf8::kInvalidByteMark) ? c : foldCodePoint(c);
        if (const QString *to = target(map, folded))
            out += to->toUtf8();
        else
            utf8::appendUtf8(out, folded);
    }
    return out;
}

} // namespace db
