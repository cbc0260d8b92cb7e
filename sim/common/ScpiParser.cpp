#include "common/ScpiParser.h"

#include <cctype>

namespace {

constexpr int kInvalidCharacter = -101;
constexpr int kSyntaxError = -102;
constexpr int kInvalidString = -151;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// Splits `s` at every `sep` that stands outside a quoted string. Returns false for an
// unterminated string.
bool SplitOutsideQuotes(std::string_view s, char sep, std::vector<std::string_view>& parts) {
    char quote = 0;
    size_t start = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (quote) {
            if (c == quote)
                quote = 0; // a doubled quote closes and reopens at once
        } else if (IsQuote(c)) {
            quote = c;
        } else if (c == sep) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    if (quote)
        return false;
    parts.push_back(s.substr(start));
    return true;
}

bool IsHeaderChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '*' || c == '_';
}

int ParseHeader(std::string_view text, ScpiCommand& cmd) {
    if (!text.empty() && text.back() == '?') {
        cmd.query = true;
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == ':')
        text.remove_prefix(1);
    if (text.empty())
        return kSyntaxError;
    for (char c : text) {
        if (!IsHeaderChar(c))
            return kInvalidCharacter;
    }
    if (text.back() == ':' || text.find("::") != std::string_view::npos)
        return kSyntaxError;
    cmd.header.assign(text);
    return 0;
}

int ParseArgument(std::string_view text, std::string& arg) {
    text = Trim(text);
    if (text.empty())
        return kSyntaxError;
    if (!IsQuote(text.front())) {
        arg.assign(text);
        return 0;
    }
    char quote = text.front();
    size_t i = 1;
    for (; i < text.size(); ++i) {
        if (text[i] != quote) {
            arg.push_back(text[i]);
        } else if (i + 1 < text.size() && text[i + 1] == quote) {
            arg.push_back(quote);
            ++i;
        } else {
            break;
        }
    }
    if (i >= text.size())
        return kInvalidString;
    return i + 1 == text.size() ? 0 : kSyntaxError;
}

int ParseCommand(std::string_view text, ScpiCommand& cmd) {
    size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t')
        ++end;
    if (int err = ParseHeader(text.substr(0, end), cmd))
        return err;
    std::string_view rest = Trim(text.substr(end));
    if (rest.empty())
        return 0;
    std::vector<std::string_view> parts;
    if (!SplitOutsideQuotes(rest, ',', parts))
        return kInvalidString;
    for (std::string_view part : parts) {
        cmd.args.emplace_back();
        if (int err = ParseArgument(part, cmd.args.back()))
            return err;
    }
    return 0;
}

struct PatternNode {
    std::string_view text;
    bool optional;
};

std::vector<PatternNode> SplitPattern(std::string_view pattern) {
    std::vector<PatternNode> nodes;
    size_t i = 0;
    while (i < pattern.size()) {
        bool optional = pattern[i] == '[';
        if (optional)
            ++i;
        if (i < pattern.size() && pattern[i] == ':')
            ++i;
        size_t end = pattern.find_first_of(":[]", i);
        if (end == std::string_view::npos)
            end = pattern.size();
        nodes.push_back({pattern.substr(i, end - i), optional});
        i = end;
        if (i < pattern.size() && pattern[i] == ']')
            ++i;
    }
    return nodes;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool NodeMatches(std::string_view node, std::string_view word) {
    size_t shortLen = 0;
    while (shortLen < node.size() && !std::islower(static_cast<unsigned char>(node[shortLen])))
        ++shortLen;
    return EqualNoCase(word, node) || EqualNoCase(word, node.substr(0, shortLen));
}

bool MatchFrom(const std::vector<PatternNode>& nodes, size_t n,
               const std::vector<std::string_view>& words, size_t w) {
    if (n == nodes.size())
        return w == words.size();
    if (nodes[n].optional && MatchFrom(nodes, n + 1, words, w))
        return true;
    return w < words.size() && NodeMatches(nodes[n].text, words[w]) &&
           MatchFrom(nodes, n + 1, words, w + 1);
}

} // namespace

int CScpiParser::Parse(std::string_view line, std::vector<ScpiCommand>& commands) {
    commands.clear();
    std::vector<std::string_view> segments;
    if (!SplitOutsideQuotes(line, ';', segments))
        return kInvalidString;
    for (size_t i = 0; i < segments.size(); ++i) {
        std::string_view text = Trim(segments[i]);
        if (text.empty()) {
            if (i + 1 == segments.size())
                break; // a trailing ';' (or an empty line) ends the message
            return kSyntaxError;
        }
        commands.emplace_back();
        if (int err = ParseCommand(text, commands.back())) {
            commands.clear();
            return err;
        }
    }
    return 0;
}

bool CScpiParser::Matches(std::string_view pattern, std::string_view header) {
    std::vector<std::string_view> words;
    SplitOutsideQuotes(header, ':', words);
    return MatchFrom(SplitPattern(pattern), 0, words, 0);
}

std::string CScpiParser::Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        out.push_back(c);
        if (c == '"')
            out.push_back('"');
    }
    out.push_back('"');
    return out;
}
