#include "tools/gen/Text.h"

#include "tools/gen/Vocabulary.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace gen {

size_t utf8Length(string_view text)
{
    return size_t(std::count_if(text.begin(), text.end(), [](char c) { return (uchar(c) & 0xC0) != 0x80; }));
}

/// Cuts text to at most maxChars characters, at a word boundary where there is one.
void truncateChars(string &text, size_t maxChars)
{
    if (utf8Length(text) <= maxChars)
        return;
    size_t chars = 0, cut = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((uchar(text[i]) & 0xC0) != 0x80) {
            if (chars == maxChars) {
                cut = i;
                break;
            }
            ++chars;
        }
    }
    const size_t space = text.rfind(' ', cut);
    text.resize(space != string::npos && space > cut / 2 ? space : cut);
    while (!text.empty() && (text.back() == ' ' || text.back() == '-' || text.back() == ','))
        text.pop_back();
}

string upper(string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toUpper().toStdString();
}

string lower(string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toLower().toStdString();
}

string capitalised(string_view text)
{
    QString s = QString::fromUtf8(text.data(), qsizetype(text.size()));
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s.toStdString();
}

void appendNumber(string &out, long long value, int width)
{
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    const auto digits = int(end - buf);
    for (int i = digits; i < width; ++i)
        out += '0';
    out.append(buf, end);
}

string code5(int value)
{
    string s;
    appendNumber(s, value, 5);
    return s;
}

string money(Rng &rng)
{
    const long long cents = (long long)(std::exp(rng.unit() * 14.0) * 100.0) + rng.between(0, 99);
    const string digits = std::to_string(cents / 100);
    string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += '.';
        out += digits[i];
    }
    out += ',';
    appendNumber(out, cents % 100, 2);
    return out;
}

Expander::Expander()
{
    m_lists = {
        {"servico", words(kServices)},   {"pagamento", words(kPayments)},
        {"beneficio", words(kBenefits)}, {"material", words(kGoods)},
        {"orgaoExt", words(kBodies)},    {"modalidade", words(kTenders)},
        {"problema", words(kProblems)},  {"obra", words(kWorks)},
        {"secretaria", words(kSecretariats)}, {"cargo", words(kPosts)},
        {"rural", words(kRuralPlaces)},  {"raro", words(kRareWords)},
        {"bairro", words(kDistricts)},   {"KIND", words(kKinds)},
        {"SETOR", words(kSectors)},      {"MES", words(kMonths)},
    };
}

void Expander::expand(string_view tpl, Rng &rng, const TextContext &ctx, string &out) const
{
    size_t i = 0;
    while (i < tpl.size()) {
        const size_t open = tpl.find('{', i);
        if (open == string_view::npos) {
            out.append(tpl.substr(i));
            return;
        }
        out.append(tpl.substr(i, open - i));
        const size_t close = tpl.find('}', open);
        const string_view name = tpl.substr(open + 1, close - open - 1);
        placeholder(name, rng, ctx, out);
        i = close + 1;
    }
}

string Expander::expanded(string_view tpl, Rng &rng, const TextContext &ctx) const
{
    string out;
    expand(tpl, rng, ctx, out);
    return out;
}

string Expander::person(Rng &rng) const
{
    string out(rng.pick(words(kFirstNames)));
    out += ' ';
    if (rng.chance(0.15))
        out += rng.chance(0.5) ? "da " : "de ";
    out += rng.pick(words(kSurnames));
    if (rng.chance(0.6)) {
        out += ' ';
        out += rng.pick(words(kSurnames));
    }
    return out;
}

void Expander::placeholder(string_view name, Rng &rng, const TextContext &ctx, string &out) const
{
    if (name == "n") {
        appendNumber(out, rng.between(1, 999));
    } else if (name == "ano") {
        appendNumber(out, std::clamp(ctx.year - rng.between(0, 2), 1960, 2100));
    } else if (name == "valor") {
        out += money(rng);
    } else if (name == "parcelas") {
        appendNumber(out, rng.between(2, 24));
    } else if (name == "dias") {
        appendNumber(out, rng.between(1, 12) * 30);
    } else if (name == "pessoa") {
        out += person(rng);
    } else if (name == "PESSOA") {
        out += upper(person(rng));
    } else if (name == "BAIRRO") {
        out += upper(rng.pick(words(kDistricts)));
    } else if (name == "OBRA") {
        out += upper(rng.pick(words(kWorks)));
    } else if (name == "bairroDe") {
        out += "do bairro ";
        out += rng.pick(words(kDistricts));
    } else if (name == "lugar") {
        switch (rng.below(5)) {
        case 0: out += "no bairro "; out += rng.pick(words(kDistricts)); break;
        case 1: out += "na Rua "; out += rng.pick(words(kStreets)); out += ", nº "; appendNumber(out, rng.between(1, 2500)); break;
        case 2: out += "na Avenida "; out += rng.pick(words(kStreets)); break;
        case 3: out += "no loteamento "; out += rng.pick(words(kDistricts)); break;
        default: out += "na localidade "; out += rng.pick(words(kRuralPlaces)); break;
        }
    } else if (auto it = m_lists.find(name); it != m_lists.end()) {
        expand(rng.pick(it->second), rng, ctx, out);
    } else {
        out.append(name); // unreachable with the tables above
    }
}


} // namespace gen
