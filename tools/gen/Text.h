#pragma once
// The texts of the archive: UTF-8 helpers and templates whose "{name}" becomes a choice
// from the word list of that name (itself expanded) or a generated value.
#include "tools/gen/Random.h"

#include <string>
#include <string_view>
#include <unordered_map>

namespace gen {

using std::string;
using std::string_view;

size_t utf8Length(string_view text);
/// Cuts text to at most maxChars characters, at a word boundary where there is one.
void truncateChars(string &text, size_t maxChars);
string upper(string_view text);
string lower(string_view text);
string capitalised(string_view text);
void appendNumber(string &out, long long value, int width = 0);
/// The five-digit code of a number ("00042").
string code5(int value);
/// An amount in reais as typed ("12.345,67"), most of them small.
string money(Rng &rng);

struct TextContext {
    int year = 2000;
};

class Expander {
public:
    Expander();
    void expand(string_view tpl, Rng &rng, const TextContext &ctx, string &out) const;
    string expanded(string_view tpl, Rng &rng, const TextContext &ctx) const;
    string person(Rng &rng) const;

private:
    void placeholder(string_view name, Rng &rng, const TextContext &ctx, string &out) const;

    std::unordered_map<string_view, std::span<const string_view>> m_lists;
};

} // namespace gen
