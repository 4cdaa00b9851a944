#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <vector>

namespace db {

/// Letter-case folding used by `like`, `locate` and the SQL function cartulo_fold(text):
/// every letter loses its case (accented ones included: "Ç" -> "ç"), accents stay
/// ("ç" never matches "c"). One code point always folds to one code point, so folded
/// text keeps its length and `_` in a pattern still stands for one letter.
char32_t foldCodePoint(char32_t c) noexcept;
QString foldCase(QStringView text);
/// The same fold on UTF-8 text; invalid bytes are kept as they are.
QByteArray foldCaseUtf8(QByteArrayView utf8);

/// `like` of the program's dialect on UTF-8 text: `%` any run, `_` one character,
/// case-insensitive through foldCodePoint. escape is 0 when there is none.
bool likeMatchUtf8(QByteArrayView pattern, QByteArrayView text, char32_t escape = 0);

/// A `like` pattern folded once, to be matched against many texts (one search reads
/// every document).
class LikePattern {
public:
    explicit LikePattern(QByteArrayView utf8Pattern, char32_t escape = 0);
    bool matches(QByteArrayView utf8Text) const;
    char32_t escape() const { return m_escape; }

private:
    std::vector<char32_t> m_items; // folded code points and the two wildcards
    char32_t m_escape;
};

} // namespace db
