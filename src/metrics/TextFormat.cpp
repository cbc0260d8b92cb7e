#include "metrics/TextFormat.h"

#include "core/Text.h"

namespace {

std::string Rendered(const MetricLabels& labels) {
    std::string text;
    for (const auto& [name, value] : labels) {
        text += (text.empty() ? "" : ",") + std::string(name) + '=' + CTextFormat::Quoted(value);
    }
    return text;
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
    : m_out(out), m_common(Rendered(common)) {}

void CTextFormat::Family(std::string_view name, std::string_view help, std::string_view type) {
    m_family = name;
    m_out << "# HELP " << name << ' ' << HelpText(help) << "\n# TYPE " << name << ' ' << type
          << '\n';
}

void CTextFormat::Sample(const MetricLabels& labels, double value) {
    const std::string own = Rendered(labels);
    const std::string all = m_common + (m_common.empty() || own.empty() ? "" : ",") + own;
    m_out << m_family;
    if (!all.empty()) {
        m_out << '{' << all << '}';
    }
    m_out << ' ' << ExactNumber(value) << '\n';
}

std::string CTextFormat::Quoted(std::string_view value) {
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}
