#include "racks/YamlFile.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace {

constexpr std::streamsize kMaxFileBytes = 1 << 20; // configs, certificates and keys are small

// The bytes a UTF-8 sequence takes that begins with lead, and the range its second byte
// must lie in (no overlong forms, no surrogates, nothing above U+10FFFF); 0 when no
// sequence begins with lead.
struct Utf8Lead {
    std::size_t length;
    int low;
    int high;
};

Utf8Lead LeadOf(unsigned char lead) {
    if (lead < 0x80) {
        return {1, 0, 0};
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return {3, lead == 0xE0 ? 0xA0 : 0x80, lead == 0xED ? 0x9F : 0xBF};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return {4, lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF};
    }
    return {0, 0, 0};
}

// The length of the well-formed UTF-8 that text begins with.
std::size_t Utf8Prefix(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const Utf8Lead lead = LeadOf(static_cast<unsigned char>(text[i]));
        if (lead.length == 0 || lead.length > text.size() - i) {
            return i;
        }
        for (std::size_t k = 1; k < lead.length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            const bool fits =
                k == 1 ? byte >= lead.low && byte <= lead.high : (byte & 0xC0) == 0x80;
            if (!fits) {
                return i;
            }
        }
        i += lead.length;
    }
    return i;
}

// Nesting and nodes no configuration comes near; an alias can make a document cyclic, or
// far larger than its text, and is refused beyond them rather than followed.
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxNodes = 1 << 20;

// Refuses a key given twice in any map of the document.
void CheckUniqueKeys(const YAML::Node& node, const std::string& path, int depth,
                     std::size_t& nodes) {
    if (depth > kMaxDepth || ++nodes > kMaxNodes) {
        throw CConfigError{Place(path, node) + ": nested too deep, or too many nodes"};
    }
    if (node.IsSequence()) {
        for (const auto& item : node) {
            CheckUniqueKeys(item, path, depth + 1, nodes);
        }
    } else if (node.IsMap()) {
        std::set<std::string> keys;
        for (const auto& entry : node) {
            const std::string key = entry.first.IsScalar() ? entry.first.Scalar() : "";
            if (!keys.insert(key).second) {
                throw CConfigError{Place(path, entry.first) + ": key '" + key + "' given twice"};
            }
            CheckUniqueKeys(entry.second, path, depth + 1, nodes);
        }
    }
}

} // namespace

std::string Place(const std::string& path, const YAML::Node& node) {
    return path + ":" + std::to_string(node.Mark().line + 1);
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw CConfigError{path + ": cannot be read"};
    }
    std::string text(kMaxFileBytes + 1, '\0');
    in.read(text.data(), kMaxFileBytes + 1);
    if (in.bad() || in.gcount() > kMaxFileBytes) {
        throw CConfigError{path + ": cannot be read, or larger than 1 MiB"};
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

YAML::Node LoadYamlFile(const std::string& path) {
    const std::string text = ReadSmallFile(path);
    const std::size_t valid = Utf8Prefix(text);
    if (valid < text.size()) {
        const auto line =
            1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(valid), '\n');
        throw CConfigError{path + ":" + std::to_string(line) + ": not UTF-8 text"};
    }
    YAML::Node node;
    try {
        node = YAML::Load(text);
    } catch (const YAML::Exception& error) {
        throw CConfigError{path + ": " + error.what()};
    }
    std::size_t nodes = 0;
    CheckUniqueKeys(node, path, 0, nodes);
    return node.IsNull() ? YAML::Node(YAML::NodeType::Map) : node;
}

void CheckKeys(const YAML::Node& node, std::initializer_list<std::string_view> allowed,
               const std::string& where) {
    if (!node || node.IsNull()) {
        return;
    }
    if (!node.IsMap()) {
        throw CConfigError{where + ": a map was expected"};
    }
    for (const auto& entry : node) {
        const std::string key = entry.first.IsScalar() ? entry.first.Scalar() : "";
        if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
            throw CConfigError{std::string(where).append(": unknown key '").append(key) + "'"};
        }
    }
}

std::string ScalarOr(const YAML::Node& node, const char* key, const std::string& fallback,
                     const std::string& where) {
    const YAML::Node value = node[key];
    if (!value || value.IsNull()) {
        return fallback;
    }
    if (!value.IsScalar()) {
        throw CConfigError{where + ": " + key + " must be a single value"};
    }
    return value.Scalar();
}
