#include "common/VisaPattern.h"

#include <cctype>

namespace {

constexpr size_t kMaxExpression = 1024;
constexpr int kMaxDepth = 64;

unsigned char Fold(unsigned char c) {
    return static_cast<unsigned char>(std::toupper(c));
}

} // namespace

// Recursive descent over the expression, building fragments of the automaton.
class CVisaPattern::Parser {
public:
    Parser(CVisaPattern& p, std::string_view s) : m_p(p), m_s(s) {}

    std::optional<Fragment> Whole() {
        std::optional<Fragment> f = Alternatives(0);
        if (!f || m_i != m_s.size())
            return std::nullopt;
        return f;
    }

private:
    bool AtEnd() const { return m_i >= m_s.size(); }
    char Peek() const { return m_s[m_i]; }

    std::optional<Fragment> Alternatives(int depth) {
        if (depth > kMaxDepth)
            return std::nullopt;
        std::optional<Fragment> left = Sequence(depth);
        while (left && !AtEnd() && Peek() == '|') {
            ++m_i;
            std::optional<Fragment> right = Sequence(depth);
            if (!right)
                return std::nullopt;
            int split = m_p.Add({Kind::Split, 0, -1, left->start, right->start});
            left->holes.insert(left->holes.end(), right->holes.begin(), right->holes.end());
            left->start = split;
        }
        return left;
    }

    // An empty sequence matches the empty text: a split whose first branch is the hole.
    std::optional<Fragment> Sequence(int depth) {
        std::optional<Fragment> result;
        while (!AtEnd() && Peek() != '|' && Peek() != ')') {
            std::optional<Fragment> next = Repeated(depth);
            if (!next)
                return std::nullopt;
            if (result) {
                m_p.Patch(*result, next->start);
                result->holes = std::move(next->holes);
            } else {
                result = std::move(next);
            }
        }
        if (!result) {
            int empty = m_p.Add({Kind::Split, 0, -1, -1, -1});
            result = Fragment{empty, {{empty, false}, {empty, true}}};
        }
        return result;
    }

    std::optional<Fragment> Repeated(int depth) {
        std::optional<Fragment> f = Atom(depth);
        while (f && !AtEnd() && (Peek() == '*' || Peek() == '+')) {
            bool star = Peek() == '*';
            ++m_i;
            int split = m_p.Add({Kind::Split, 0, -1, f->start, -1});
            m_p.Patch(*f, split);
            f = Fragment{star ? split : f->start, {{split, true}}};
        }
        return f;
    }

    std::optional<Fragment> Atom(int depth) {
        char c = Peek();
        ++m_i;
        switch (c) {
        case '*':
        case '+':
        case ']':
            return std::nullopt;
        case '?':
            return Single({Kind::Any});
        case '(': {
            std::optional<Fragment> inner = Alternatives(depth + 1);
            if (!inner || AtEnd() || Peek() != ')')
                return std::nullopt;
            ++m_i;
            return inner;
        }
        case '[':
            return List();
        case '\\':
            if (AtEnd())
                return std::nullopt;
            c = Peek();
            ++m_i;
            break;
        }
        return Single({Kind::Char, Fold(static_cast<unsigned char>(c))});
    }

    std::optional<Fragment> List() {
        std::bitset<256> set;
        bool negate = !AtEnd() && Peek() == '^';
        if (negate)
            ++m_i;
        bool first = true;
        while (!AtEnd() && (Peek() != ']' || first)) {
            first = false;
            unsigned char lo = static_cast<unsigned char>(Take());
            unsigned char hi = lo;
            if (m_i + 1 < m_s.size() && Peek() == '-' && m_s[m_i + 1] != ']') {
                ++m_i;
                hi = static_cast<unsigned char>(Take());
            }
            for (int ch = lo; ch <= hi; ++ch) {
                set.set(Fold(static_cast<unsigned char>(ch)));
                set.set(static_cast<unsigned char>(std::tolower(ch)));
            }
        }
        if (AtEnd())
            return std::nullopt;
        ++m_i; // ']'
        if (negate)
            set.flip();
        m_p.m_sets.push_back(set);
        return Single({Kind::Class, 0, static_cast<int>(m_p.m_sets.size() - 1)});
    }

    // One character of a list, honouring '\' escapes.
    char Take() {
        char c = m_s[m_i++];
        if (c == '\\' && !AtEnd())
            c = m_s[m_i++];
        return c;
    }

    Fragment Single(State s) {
        int id = m_p.Add(s);
        return Fragment{id, {{id, false}}};
    }

    CVisaPattern& m_p;
    std::string_view m_s;
    size_t m_i = 0;
};

std::optional<CVisaPattern> CVisaPattern::Compile(std::string_view expression) {
    if (expression.size() > kMaxExpression)
        return std::nullopt;
    CVisaPattern p;
    Parser parser(p, expression);
    std::optional<Fragment> f = parser.Whole();
    if (!f)
        return std::nullopt;
    p.Patch(*f, p.Add({Kind::Match}));
    p.m_start = f->start;
    return p;
}

int CVisaPattern::Add(State s) {
    m_states.push_back(s);
    return static_cast<int>(m_states.size() - 1);
}

void CVisaPattern::Patch(const Fragment& f, int target) {
    for (auto [state, second] : f.holes)
        (second ? m_states[state].out1 : m_states[state].out) = target;
}

void CVisaPattern::AddClosure(int s, std::vector<int>& list, std::vector<int>& mark,
                              int gen) const {
    // Iterative, so a long chain of splits cannot exhaust the stack.
    std::vector<int> stack{s};
    while (!stack.empty()) {
        int id = stack.back();
        stack.pop_back();
        if (id < 0 || mark[id] == gen)
            continue;
        mark[id] = gen;
        const State& st = m_states[id];
        if (st.kind == Kind::Split) {
            stack.push_back(st.out1);
            stack.push_back(st.out);
        } else {
            list.push_back(id);
        }
    }
}

bool CVisaPattern::Matches(std::string_view name) const {
    std::vector<int> mark(m_states.size(), -1);
    std::vector<int> current, next;
    int gen = 0;
    AddClosure(m_start, current, mark, gen);
    for (char raw : name) {
        unsigned char c = static_cast<unsigned char>(raw);
        next.clear();
        ++gen;
        for (int id : current) {
            const State& st = m_states[id];
            bool ok = (st.kind == Kind::Any) || (st.kind == Kind::Char && st.ch == Fold(c)) ||
                      (st.kind == Kind::Class && m_sets[st.set].test(c));
            if (ok)
                AddClosure(st.out, next, mark, gen);
        }
        current.swap(next);
        if (current.empty())
            return false;
    }
    for (int id : current) {
        if (m_states[id].kind == Kind::Match)
            return true;
    }
    return false;
}
