#pragma once

#include <cstddef>
#include <iterator>

// Keyword tables (console commands, configuration keywords, rule action and
// command words) are matched by case-insensitive unique prefix: a word selects
// the entry whose name begins with it (the whole name counts too). A word
// longer than a name never matches it.
enum class Match { none, one, several };

struct PrefixMatch {
    Match result;
    int index;  // the matching entry when result is Match::one, else -1
};

// True when `word` equals the first strlen(word) characters of `name`,
// ignoring ASCII letter case.
bool is_prefix_nocase(const char* word, const char* name);

// True when the two are the same word, ignoring ASCII letter case.
bool same_nocase(const char* word, const char* name);

// Looks `word` up in `count` entries of a table whose entry i has its name at
// names(i). The search stops at the second match.
template <class NameOf>
PrefixMatch match_prefix(const char* word, int count, NameOf names) {
    PrefixMatch found{Match::none, -1};
    for (int i = 0; i < count; ++i) {
        if (!is_prefix_nocase(word, names(i))) continue;
        if (found.result == Match::one) return PrefixMatch{Match::several, -1};
        found = PrefixMatch{Match::one, i};
    }
    return found;
}

// The common case: a table (array or std::array) of entries with a `name` member.
template <class Table>
PrefixMatch match_prefix(const char* word, const Table& table) {
    return match_prefix(word, static_cast<int>(std::size(table)),
                        [&table](int i) { return table[static_cast<std::size_t>(i)].name; });
}
