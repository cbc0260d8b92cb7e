#include "metrics/TextFormat.h"

#include "core/Text.h"

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

CTextFormat::CTextFormat(std::ostream& out, const MetricLabels& common) : m_out(out) {
    AppendLabels(m_common, common);
}

void CTextFormat::Family(std::string_view name, std::string_view help, std::string_view type) {
    m_family = name;
    m_out << "# HELP " << name << ' ' << HelpText(help) << "\n# TYPE " << name << ' ' << type
          << '\n';
}

// One string written once: a probe writes a few hundred samples, and temporary strings and
// stream inserts per piece were most of its instructions.
void CTextFormat::Sample(const MetricLabels& labels, double value) {
    std::string line = m_family;
    if (!m_common.empty() || !labels.empty()) {
        line += '{';
        line += m_common;
        AppendLabels(line, labels);
        line += '}';
    }
    line += ' ';
    line += ExactNumber(value);
    line += '\n';
    m_out << line;
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
