#include "db/Dialect.h"

#include "db/DbError.h"
#include "db/JetDate.h"

#include <QHash>
#include <optional>

using namespace Qt::StringLiterals;

namespace db {

qsizetype TableShape::indexOf(QStringView column) const
{
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (QStringView(columns[i]).compare(column, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

namespace {

enum class Kind {
    Space,
    Comment,
    Word,        // bare identifier or keyword
    QuotedName,  // [name] or `name`
    SingleQuoted,
    DoubleQuoted,
    Number,
    Punct,
    Unterminated, // rest of the text after an unclosed literal or comment
};

struct Token {
    Kind kind;
    qsizetype begin;
    qsizetype length;
};

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}

bool isWordPart(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80;
}

class Tokenizer {
public:
    explicit Tokenizer(QStringView text) : m_text(text) {}

    QList<Token> run()
    {
        QList<Token> tokens;
        tokens.reserve(m_text.size() / 3 + 4);
        while (m_pos < m_text.size())
            tokens.append(next());
        return tokens;
    }

private:
    QChar at(qsizetype i) const { return i < m_text.size() ? m_text[i] : QChar(); }

    Token make(Kind kind, qsizetype begin)
    {
        return {kind, begin, m_pos - begin};
    }

    Token unterminated(qsizetype begin)
    {
        m_pos = m_text.size();
        return make(Kind::Unterminated, begin);
    }

    // A literal or name closed by `close`, where a doubled `close` stands for one.
    Token quoted(Kind kind, QChar close, bool doubling)
    {
        const qsizetype begin = m_pos++;
        while (m_pos < m_text.size()) {
            if (m_text[m_pos] == close) {
                if (doubling && at(m_pos + 1) == close) {
                    m_pos += 2;
                    continue;
                }
                ++m_pos;
                return make(kind, begin);
            }
            ++m_pos;
        }
        return unterminated(begin);
    }

    Token number()
    {
        const qsizetype begin = m_pos;
        if (m_text[m_pos] == u'0' && (at(m_pos + 1) == u'x' || at(m_pos + 1) == u'X')) {
            m_pos += 2;
            while (at(m_pos).isLetterOrNumber())
                ++m_pos;
            return make(Kind::Number, begin);
        }
        while (at(m_pos).isDigit())
            ++m_pos;
        if (at(m_pos) == u'.') {
            ++m_pos;
            while (at(m_pos).isDigit())
                ++m_pos;
        }
        if ((at(m_pos) == u'e' || at(m_pos) == u'E')
            && (at(m_pos + 1).isDigit()
                || ((at(m_pos + 1) == u'+' || at(m_pos + 1) == u'-') && at(m_pos + 2).isDigit()))) {
            m_pos += 2;
            while (at(m_pos).isDigit())
                ++m_pos;
        }
        return make(Kind::Number, begin);
    }

    Token next()
    {
        const qsizetype begin = m_pos;
        const QChar c = m_text[m_pos];
        if (c.isSpace()) {
            while (m_pos < m_text.size() && m_text[m_pos].isSpace())
                ++m_pos;
            return make(Kind::Space, begin);
        }
        if (c == u'-' && at(m_pos + 1) == u'-') {
            while (m_pos < m_text.size() && m_text[m_pos] != u'\n')
                ++m_pos;
            return make(Kind::Comment, begin);
        }
        if (c == u'/' && at(m_pos + 1) == u'*') {
            const qsizetype end = m_text.indexOf(u"*/"_s, m_pos + 2);
            if (end < 0)
                return unterminated(begin);
            m_pos = end + 2;
            return make(Kind::Comment, begin);
        }
        if (c == u'\'')
            return quoted(Kind::SingleQuoted, u'\'', true);
        if (c == u'"')
            return quoted(Kind::DoubleQuoted, u'"', true);
        if (c == u'[')
            return quoted(Kind::QuotedName, u']', false);
        if (c == u'`')
            return quoted(Kind::QuotedName, u'`', true);
        if (c.isDigit() || (c == u'.' && at(m_pos + 1).isDigit()))
            return number();
        if (isWordStart(c)) {
            while (m_pos < m_text.size() && isWordPart(m_text[m_pos]))
                ++m_pos;
            return make(Kind::Word, begin);
        }
        static constexpr std::u16string_view twoCharOps[] = {u"<=", u">=", u"<>", u"!=", u"==",
                                                             u"||", u"<<", u">>", u"->"};
        for (auto op : twoCharOps) {
            if (m_text.mid(m_pos).startsWith(QStringView(op))) {
                m_pos += 2;
                return make(Kind::Punct, begin);
            }
        }
        ++m_pos;
        return make(Kind::Punct, begin);
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

// Words that may stand before "(" without naming a function.
bool isKeywordBeforeParen(QStringView word)
{
    static const QStringList keywords = {
        u"select"_s, u"where"_s, u"and"_s, u"or"_s, u"not"_s, u"in"_s, u"on"_s, u"by"_s,
        u"set"_s, u"values"_s, u"when"_s, u"then"_s, u"else"_s, u"case"_s, u"exists"_s,
        u"having"_s, u"as"_s, u"from"_s, u"join"_s, u"like"_s, u"between"_s, u"is"_s,
        u"into"_s, u"union"_s, u"all"_s, u"distinct"_s, u"return"_s, u"using"_s};
    for (const QString &k : keywords) {
        if (word.compare(k, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Words that stand alone for a value, on either engine, rather than for a column.
bool isValueKeyword(QStringView word)
{
    static const QStringList keywords = {
        u"null"_s, u"true"_s, u"false"_s, u"current_date"_s, u"current_time"_s, u"current_timestamp"_s,
        u"localtime"_s, u"localtimestamp"_s, u"current_user"_s, u"session_user"_s, u"user"_s,
        u"current_role"_s, u"current_catalog"_s, u"current_schema"_s};
    for (const QString &k : keywords) {
        if (word.compare(k, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString doubleQuotedValue(QStringView token)
{
    QString value = token.mid(1, token.size() - 2).toString();
    value.replace(u"\"\""_s, u"\""_s);
    return value;
}

QString singleQuotedValue(QStringView token)
{
    QString value = token.mid(1, token.size() - 2).toString();
    value.replace(u"''"_s, u"'"_s);
    return value;
}

QString sqlLiteral(const QString &value)
{
    QString escaped = value;
    escaped.replace(u'\'', u"''"_s);
    return u'\'' + escaped + u'\'';
}

bool isBlankDateText(QStringView value)
{
    for (QChar c : value) {
        if (!(c.isSpace() || c == u'/' || c == u'_'))
            return false;
    }
    return true;
}

// The text SQLite's text affinity makes of a number literal: 00001 is 1, 1.50 is 1.5.
QString numberAsText(QStringView literal)
{
    bool whole = false;
    const qlonglong integer = literal.toLongLong(&whole);
    if (whole)
        return QString::number(integer);
    const QString text = QString::number(literal.toDouble(), 'g', 15);
    return text.contains(u'.') || text.contains(u'e') ? text : text + u".0"_s;
}

bool isComparison(QStringView op)
{
    return op == u"=" || op == u"<>" || op == u"!=" || op == u"<" || op == u">" || op == u"<="
        || op == u">=" || op == u"==";
}

class Translator {
public:
    Translator(QStringView sql, const ShapeLookup &shapes, Provider target)
        : m_sql(sql), m_shapes(shapes), m_server(target == Provider::PostgreSQL),
          m_tokens(Tokenizer(sql).run())
    {
        for (qsizetype i = 0; i < m_tokens.size(); ++i) {
            const Kind k = m_tokens[i].kind;
            if (k != Kind::Space && k != Kind::Comment)
                m_sig.append(i);
        }
        matchParens();
    }

    Translation run()
    {
        Translation result;
        if (!m_sig.isEmpty() && kindAt(0) == Kind::Word)
            result.firstKeyword = textAt(0).toString().toLower();
        if (result.firstKeyword == u"select"_s)
            result.selectItems = selectItems();
        if (m_shapes && (result.firstKeyword == u"update"_s))
            convertUpdateDates();
        if (m_shapes && (result.firstKeyword == u"insert"_s || result.firstKeyword == u"replace"_s))
            convertInsertDates();
        markConcatenations();
        if (m_server) {
            markLikes();
            if (m_shapes)
                quoteNumbersComparedWithTexts();
        }
        result.secondStatement = secondStatement();
        result.sql = output();
        return result;
    }

private:
    // Helpers over significant tokens (s = index into m_sig).
    Kind kindAt(qsizetype s) const { return m_tokens[m_sig[s]].kind; }
    QStringView textAt(qsizetype s) const
    {
        const Token &t = m_tokens[m_sig[s]];
        return m_sql.mid(t.begin, t.length);
    }
    bool isPunct(qsizetype s, QStringView p) const
    {
        return s >= 0 && s < m_sig.size() && kindAt(s) == Kind::Punct && textAt(s) == p;
    }
    bool isWord(qsizetype s, QStringView w) const
    {
        return s >= 0 && s < m_sig.size() && kindAt(s) == Kind::Word
            && textAt(s).compare(w, Qt::CaseInsensitive) == 0;
    }
    bool isName(qsizetype s) const
    {
        return s >= 0 && s < m_sig.size()
            && (kindAt(s) == Kind::Word || kindAt(s) == Kind::QuotedName);
    }
    QString nameAt(qsizetype s) const
    {
        QStringView t = textAt(s);
        if (kindAt(s) == Kind::QuotedName)
            t = t.mid(1, t.size() - 2);
        return t.toString();
    }

    void matchParens()
    {
        m_match.fill(-1, m_sig.size());
        QList<qsizetype> open;
        for (qsizetype s = 0; s < m_sig.size(); ++s) {
            if (isPunct(s, u"(")) {
                open.append(s);
            } else if (isPunct(s, u")") && !open.isEmpty()) {
                const qsizetype o = open.takeLast();
                m_match[o] = s;
                m_match[s] = o;
            }
        }
    }

    QList<SelectItem> selectItems() const
    {
        QList<SelectItem> items;
        qsizetype s = 1;
        if (isWord(s, u"distinct") || isWord(s, u"all"))
            ++s;
        qsizetype itemStart = s;
        auto finish = [&](qsizetype end) {
            if (end <= itemStart)
                return;
            SelectItem item;
            const qsizetype n = end - itemStart;
            if ((n == 1 && isPunct(itemStart, u"*"))
                || (n == 3 && isName(itemStart) && isPunct(itemStart + 1, u".")
                    && isPunct(itemStart + 2, u"*")))
                item.star = true;
            else if (n >= 3 && isWord(end - 2, u"as"))
                item.alias = kindAt(end - 1) == Kind::DoubleQuoted
                    ? doubleQuotedValue(textAt(end - 1))
                    : kindAt(end - 1) == Kind::SingleQuoted ? singleQuotedValue(textAt(end - 1))
                                                            : nameAt(end - 1);
            else
                item.columnReference = isColumnReference(itemStart, end);
            if (item.columnReference && n >= 3) {
                item.table = nameAt(end - 3);
                item.column = nameAt(end - 1);
            }
            items.append(item);
        };
        for (; s < m_sig.size(); ++s) {
            if (isPunct(s, u"(") && m_match[s] > s) {
                s = m_match[s];
                continue;
            }
            if (isPunct(s, u",")) {
                finish(s);
                itemStart = s + 1;
                continue;
            }
            if (isWord(s, u"from") || isWord(s, u"union") || isWord(s, u"where")
                || isWord(s, u"order") || isWord(s, u"group") || isWord(s, u"limit")
                || isWord(s, u"except") || isWord(s, u"intersect") || isPunct(s, u";"))
                break;
        }
        finish(s);
        return items;
    }

    // name, table.name or schema.table.name; a lone word that names a value rather than a
    // column (NULL, CURRENT_DATE, ...) is an expression.
    bool isColumnReference(qsizetype begin, qsizetype end) const
    {
        const qsizetype n = end - begin;
        if (n != 1 && n != 3 && n != 5)
            return false;
        for (qsizetype s = begin; s < end; s += 2) {
            if (!isName(s) || (s + 1 < end && !isPunct(s + 1, u".")))
                return false;
        }
        return n > 1 || kindAt(begin) == Kind::QuotedName || !isValueKeyword(textAt(begin));
    }

    const TableShape *shapeOf(qsizetype s) const
    {
        if (!isName(s))
            return nullptr;
        qsizetype nameToken = s;
        if (isPunct(s + 1, u".") && isName(s + 2)) // schema.table
            nameToken = s + 2;
        return m_shapes(nameAt(nameToken));
    }

    qsizetype skipTableName(qsizetype s) const
    {
        return (isPunct(s + 1, u".") && isName(s + 2)) ? s + 3 : s + 1;
    }

    // A quoted value assigned to a date column becomes a day number or NULL.
    void convertDateValue(qsizetype s, const QString &columnLabel)
    {
        const Kind kind = kindAt(s);
        if (kind != Kind::DoubleQuoted && kind != Kind::SingleQuoted)
            return;
        const QString value = kind == Kind::DoubleQuoted ? doubleQuotedValue(textAt(s))
                                                         : singleQuotedValue(textAt(s));
        if (isBlankDateText(value)) {
            m_replacement.insert(m_sig[s], u"NULL"_s);
            return;
        }
        if (const auto date = parseDayFirst(value)) {
            m_replacement.insert(m_sig[s], QString::number(toDayNumber(*date), 'g', 17));
            return;
        }
        bool isNumber = false;
        value.trimmed().toDouble(&isNumber);
        if (isNumber)
            return; // a day number in quotes: the column's numeric affinity takes it
        throw DbError(u"\"%1\" não é uma data válida (dd/mm/aa) para %2"_s.arg(value, columnLabel));
    }

    void convertUpdateDates()
    {
        qsizetype s = 1;
        if (isWord(s, u"or"))
            s += 2;
        const TableShape *shape = shapeOf(s);
        if (!shape)
            return;
        const QString table = nameAt(isPunct(s + 1, u".") ? s + 2 : s);
        s = skipTableName(s);
        if (!isWord(s, u"set"))
            return;
        ++s;
        while (s < m_sig.size()) {
            // column [= value] up to "," or WHERE at this level
            qsizetype colToken = s;
            if (isName(s) && isPunct(s + 1, u".") && isName(s + 2))
                colToken = s + 2;
            const qsizetype eq = colToken + 1;
            if (!isName(colToken) || !isPunct(eq, u"="))
                return;
            qsizetype end = eq + 1;
            while (end < m_sig.size() && !isPunct(end, u",") && !isWord(end, u"where")
                   && !isWord(end, u"from") && !isWord(end, u"returning") && !isPunct(end, u";")) {
                if (isPunct(end, u"(") && m_match[end] > end)
                    end = m_match[end];
                ++end;
            }
            const qsizetype column = shape->indexOf(textAt(colToken));
            if (end == eq + 2 && column >= 0 && shape->isDate[column])
                convertDateValue(eq + 1, table + u'.' + shape->columns[column]);
            if (!isPunct(end, u","))
                return;
            s = end + 1;
        }
    }

    void convertInsertDates()
    {
        qsizetype s = 1;
        if (isWord(s, u"or"))
            s += 2;
        if (!isWord(s, u"into"))
            return;
        ++s;
        const TableShape *shape = shapeOf(s);
        if (!shape)
            return;
        const QString table = nameAt(isPunct(s + 1, u".") ? s + 2 : s);
        s = skipTableName(s);
        QList<qsizetype> columnOfValue; // table column index for each value position
        if (isPunct(s, u"(")) {
            const qsizetype close = m_match[s];
            if (close < 0)
                return;
            for (qsizetype c = s + 1; c < close; ++c) {
                if (isName(c))
                    columnOfValue.append(shape->indexOf(nameAt(c)));
            }
            s = close + 1;
        } else {
            for (qsizetype c = 0; c < shape->columns.size(); ++c)
                columnOfValue.append(c);
        }
        if (!isWord(s, u"values"))
            return;
        ++s;
        while (isPunct(s, u"(") && m_match[s] > s) {
            const qsizetype close = m_match[s];
            qsizetype valueStart = s + 1;
            qsizetype position = 0;
            for (qsizetype v = s + 1; v <= close; ++v) {
                if (isPunct(v, u"(") && m_match[v] > v) {
                    v = m_match[v];
                    continue;
                }
                if (v == close || isPunct(v, u",")) {
                    if (v == valueStart + 1 && position < columnOfValue.size()) {
                        const qsizetype column = columnOfValue[position];
                        if (column >= 0 && shape->isDate[column])
                            convertDateValue(valueStart, table + u'.' + shape->columns[column]);
                    }
                    ++position;
                    valueStart = v + 1;
                }
            }
            s = close + 1;
            if (!isPunct(s, u","))
                break;
            ++s;
        }
    }

    // Operators that bind tighter than `&` in the old dialect: the arithmetic ones. SQLite
    // binds `||` tighter than all of them, so each side of `&` is grouped whole.
    bool isArithmetic(qsizetype s) const
    {
        return isPunct(s, u"+") || isPunct(s, u"-") || isPunct(s, u"*") || isPunct(s, u"/")
            || isPunct(s, u"%");
    }

    // True when the token at s can close an operand (so a sign after it is binary).
    bool closesOperand(qsizetype s) const
    {
        if (s < 0 || s >= m_sig.size())
            return false;
        if (isPunct(s, u")") || kindAt(s) == Kind::QuotedName)
            return true;
        const Kind k = kindAt(s);
        if (k == Kind::SingleQuoted || k == Kind::DoubleQuoted || k == Kind::Number)
            return true;
        return k == Kind::Word && !isKeywordBeforeParen(textAt(s));
    }

    // One primary ending at `end`: a name (possibly table.column), literal, number,
    // function call or parenthesised group; returns its first significant index.
    std::optional<qsizetype> primaryEndingAt(qsizetype end) const
    {
        if (end < 0)
            return std::nullopt;
        if (isPunct(end, u")")) {
            qsizetype begin = m_match[end];
            if (begin < 0)
                return std::nullopt;
            if (begin > 0 && kindAt(begin - 1) == Kind::Word && !isKeywordBeforeParen(textAt(begin - 1)))
                --begin;
            return begin;
        }
        if (isName(end)) {
            qsizetype begin = end;
            while (isPunct(begin - 1, u".") && isName(begin - 2))
                begin -= 2;
            return begin;
        }
        const Kind k = kindAt(end);
        if (k == Kind::SingleQuoted || k == Kind::DoubleQuoted || k == Kind::Number)
            return end;
        return std::nullopt;
    }

    // One primary starting at `begin`; returns its last significant index.
    std::optional<qsizetype> primaryStartingAt(qsizetype begin) const
    {
        if (begin >= m_sig.size())
            return std::nullopt;
        if (isPunct(begin, u"(")) {
            if (m_match[begin] < 0)
                return std::nullopt;
            return m_match[begin];
        }
        if (isName(begin)) {
            if (kindAt(begin) == Kind::Word && isPunct(begin + 1, u"(") && m_match[begin + 1] > 0
                && !isKeywordBeforeParen(textAt(begin)))
                return m_match[begin + 1];
            qsizetype end = begin;
            while (isPunct(end + 1, u".") && isName(end + 2))
                end += 2;
            return end;
        }
        const Kind k = kindAt(begin);
        if (k == Kind::SingleQuoted || k == Kind::DoubleQuoted || k == Kind::Number)
            return begin;
        return std::nullopt;
    }

    // The operand of `&` on its left: primaries joined by arithmetic operators, signs
    // included. Returns the first/last significant index, or nullopt.
    std::optional<std::pair<qsizetype, qsizetype>> leftOperand(qsizetype amp) const
    {
        qsizetype end = amp - 1;
        while (true) {
            const std::optional<qsizetype> primary = primaryEndingAt(end);
            if (!primary)
                return std::nullopt;
            qsizetype begin = *primary;
            while ((isPunct(begin - 1, u"-") || isPunct(begin - 1, u"+")) && !closesOperand(begin - 2))
                --begin; // a sign
            if (isArithmetic(begin - 1) && closesOperand(begin - 2)) {
                end = begin - 2;
                continue;
            }
            return std::pair{begin, amp - 1};
        }
    }

    std::optional<std::pair<qsizetype, qsizetype>> rightOperand(qsizetype amp) const
    {
        qsizetype begin = amp + 1;
        while (true) {
            while (isPunct(begin, u"-") || isPunct(begin, u"+"))
                ++begin; // a sign
            const std::optional<qsizetype> end = primaryStartingAt(begin);
            if (!end)
                return std::nullopt;
            if (isArithmetic(*end + 1)) {
                begin = *end + 2;
                continue;
            }
            return std::pair{amp + 1, *end};
        }
    }

    void markConcatenations()
    {
        for (qsizetype s = 0; s < m_sig.size(); ++s) {
            if (!isPunct(s, u"&"))
                continue;
            m_replacement.insert(m_sig[s], u"||"_s);
            for (const auto &operand : {leftOperand(s), rightOperand(s)}) {
                if (!operand)
                    continue;
                const qsizetype first = m_sig[operand->first];
                const qsizetype last = m_sig[operand->second];
                if (m_wrapEnd.value(first, -1) == last)
                    continue; // already wrapped as the other side of a chain
                m_wrapEnd.insert(first, last);
                m_opens[first] += 1;
                m_closes[last] += 1;
            }
        }
    }

    QString output() const
    {
        QString out;
        out.reserve(m_sql.size() + m_sql.size() / 4 + 16);
        const QString open = m_server ? u"coalesce(("_s : u"ifnull("_s;
        const QString close = m_server ? u")::text,'')"_s : u",'')"_s;
        for (qsizetype i = 0; i < m_tokens.size(); ++i) {
            out += m_before.value(i);
            for (int n = m_opens.value(i); n > 0; --n)
                out += open;
            const Token &t = m_tokens[i];
            const QStringView text = m_sql.mid(t.begin, t.length);
            if (auto it = m_replacement.constFind(i); it != m_replacement.cend())
                out += *it;
            else if (t.kind == Kind::DoubleQuoted)
                out += sqlLiteral(doubleQuotedValue(text));
            else if (m_server && t.kind == Kind::QuotedName)
                out += u'"' + text.mid(1, text.size() - 2).toString().toLower().replace(u'"', u"\"\""_s) + u'"';
            else
                out += text;
            for (int n = m_closes.value(i); n > 0; --n)
                out += close;
            out += m_after.value(i);
        }
        return out;
    }

    // `a like b` -> cartulo_fold(a) LIKE cartulo_fold(b) ESCAPE '': one fold on both sides,
    // the one the trigram index holds, and no escape character, as in SQLite.
    void markLikes()
    {
        for (qsizetype s = 0; s < m_sig.size(); ++s) {
            if (!isWord(s, u"like"))
                continue;
            const qsizetype leftEnd = isWord(s - 1, u"not") ? s - 2 : s - 1;
            const std::optional<qsizetype> leftBegin = primaryEndingAt(leftEnd);
            std::optional<qsizetype> rightEnd = primaryStartingAt(s + 1);
            while (rightEnd && (isPunct(*rightEnd + 1, u"&") || isPunct(*rightEnd + 1, u"||")))
                rightEnd = primaryStartingAt(*rightEnd + 2);
            if (!leftBegin || !rightEnd)
                continue; // left for the server to judge
            m_before[m_sig[*leftBegin]].prepend(u"cartulo_fold(("_s);
            m_after[m_sig[leftEnd]].append(u")::text)"_s);
            m_replacement.insert(m_sig[s], u"LIKE"_s);
            m_before[m_sig[s + 1]].prepend(u"cartulo_fold(("_s);
            m_after[m_sig[*rightEnd]].append(isWord(*rightEnd + 1, u"escape") ? u")::text)"_s
                                                                                : u")::text) ESCAPE ''"_s);
        }
    }

    // The tables a statement names, found by their names: a word that is a table is one.
    const TableShape *columnShape(qsizetype s, qsizetype *column) const
    {
        if (!isName(s) || isPunct(s + 1, u"(") || isPunct(s + 1, u"."))
            return nullptr;
        if (isPunct(s - 1, u".") && isName(s - 2)) {
            const TableShape *shape = m_shapes(nameAt(s - 2));
            if (shape)
                *column = shape->indexOf(nameAt(s));
            return shape && *column >= 0 ? shape : nullptr;
        }
        for (qsizetype t = 0; t < m_sig.size(); ++t) {
            if (!isName(t) || isPunct(t + 1, u".") || isPunct(t - 1, u"."))
                continue;
            const TableShape *shape = m_shapes(nameAt(t));
            if (shape && (*column = shape->indexOf(nameAt(s))) >= 0)
                return shape;
        }
        return nullptr;
    }

    // SQLite gives a number compared with a text column the column's text affinity; the
    // server would refuse text = integer.
    void quoteNumbersComparedWithTexts()
    {
        for (qsizetype s = 0; s < m_sig.size(); ++s) {
            if (kindAt(s) != Kind::Punct || !isComparison(textAt(s)))
                continue;
            for (auto [number, name] : {std::pair{s + 1, s - 1}, std::pair{s - 1, s + 1}}) {
                if (number < 0 || number >= m_sig.size() || kindAt(number) != Kind::Number)
                    continue;
                if (isPunct(number - 1, u"-") || isPunct(number + 1, u".") || isArithmetic(number + 1)
                    || isArithmetic(number - 1))
                    continue;
                qsizetype column = -1;
                const TableShape *shape = columnShape(name, &column);
                if (shape && column < shape->isText.size() && shape->isText[column])
                    m_replacement.insert(m_sig[number], sqlLiteral(numberAsText(textAt(number))));
            }
        }
    }

    QString secondStatement() const
    {
        for (qsizetype s = 0; s + 1 < m_sig.size(); ++s) {
            if (isPunct(s, u";") && !isPunct(s + 1, u";"))
                return m_sql.mid(m_tokens[m_sig[s + 1]].begin).toString().trimmed();
        }
        return {};
    }

    QStringView m_sql;
    const ShapeLookup &m_shapes;
    const bool m_server;
    QHash<qsizetype, QString> m_before; // token index -> text put before it
    QHash<qsizetype, QString> m_after;  // token index -> text put after it
    QList<Token> m_tokens;
    QList<qsizetype> m_sig;   // indexes of significant tokens
    QList<qsizetype> m_match; // matching parenthesis, by significant index
    QHash<qsizetype, QString> m_replacement; // token index -> new text
    QHash<qsizetype, qsizetype> m_wrapEnd;
    QHash<qsizetype, int> m_opens;
    QHash<qsizetype, int> m_closes;
};

} // namespace

Translation translate(QStringView jetSql, const ShapeLookup &shapes, Provider target)
{
    return Translator(jetSql, shapes, target).run();
}

} // namespace db
