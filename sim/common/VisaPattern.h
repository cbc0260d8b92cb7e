#pragma once

#include <bitset>
#include <optional>
#include <string_view>
#include <vector>

// A VISA resource search expression: '?' any one character, '*' zero or more and '+' one or
// more of what precedes, "[list]" and "[^list]" (ranges with '-'), '(' ')' grouping, '|'
// alternatives and '\' escaping the next character. Matching is case-insensitive and covers
// the whole name. Compiled to a Thompson automaton, so matching takes linear time whatever
// the expression.
class CVisaPattern {
public:
    // Nothing for an expression that does not parse.
    static std::optional<CVisaPattern> Compile(std::string_view expression);

    bool Matches(std::string_view name) const;

private:
    enum class Kind { Char, Any, Class, Split, Match };
    struct State {
        Kind kind;
        unsigned char ch = 0;
        int set = -1; // index into m_sets for Kind::Class
        int out = -1;
        int out1 = -1; // second branch of Kind::Split
    };
    struct Fragment {
        int start;
        std::vector<std::pair<int, bool>> holes; // (state, second branch?) still to patch
    };
    class Parser;

    int Add(State s);
    void Patch(const Fragment& f, int target);
    void AddClosure(int s, std::vector<int>& list, std::vector<int>& mark, int gen) const;

    std::vector<State> m_states;
    std::vector<std::bitset<256>> m_sets;
    int m_start = -1;
};
