#include "metrics/TextFormat.h"

#include "core/Text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace {

// The labels after text, each after a comma unless text is empty or ends in a brace.
void AppendLabels(std::string& text, const MetricLabels& labels) {
    for (const auto& [name, value] : labels) {
        if (!text.empty() && text.back() != '{') {
            text += ',';
        }
        text += name;
        text += '=';
        CTextFormat::AppendQuoted(text, value);
    }
}

// HELP text with backslash and line feed escaped, so a line feed cannot end the comment.
std::string HelpText(std::string_view help) {
    std::string text;
    for (char c : help) {
        text += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
    }
    return text;
}

} // namespace

CTextFormat::CTextFormat(std::ostream& out, const MetricLabels& common)
    : m_out(out), m_common(CommonLabels(common)) {}

void CTextFormat::Family(std::string_view name, std::string_view help, std::string_view type) {
    m_family = name;
    m_out << FamilyLines(name, help, type);
}

// One string written once: a probe writes a few hundred samples, and temporary strings and
// stream inserts per piece were most of its instructions.
void CTextFormat::Sample(const MetricLabels& labels, double value) {
    std::string line = SeriesText(m_family, m_common, labels);
    AppendValue(line, value);
    line += '\n';
    m_out << line;
}

std::string CTextFormat::FamilyLines(std::string_view name, std::string_view help,
                                     std::string_view type) {
    std::string text = "# HELP ";
    text += name;
    text += ' ';
    text += HelpText(help);
    text += "\n# TYPE ";
    text += name;
    text += ' ';
    text += type;
    text += '\n';
    return text;
}

std::string CTextFormat::CommonLabels(const MetricLabels& common) {
    std::string text;
    AppendLabels(text, common);
    return text;
}

std::string CTextFormat::SeriesText(std::string_view name, std::string_view common,
                                    const MetricLabels& labels) {
    std::string text(name);
    if (!common.empty() || !labels.empty()) {
        text += '{';
        text += common;
        AppendLabels(text, labels);
        text += '}';
    }
    text += ' ';
    return text;
}

void CTextFormat::AppendValue(std::string& text, double value) {
    if (!std::isfinite(value)) {
        text += ExactNumber(value);
        return;
    }
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    text.append(buffer.data(), result.ptr);
}

std::string CTextFormat::Quoted(std::string_view value) {
    std::string quoted;
    AppendQuoted(quoted, value);
    return quoted;
}

void CTextFormat::AppendQuoted(std::string& text, std::string_view value) {
    text += '"';
    for (char c : value) {
        if (c == '\\' || c == '"') {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else {
            text += c;
        }
    }
    text += '"';
}
