#include "exporter/YamlFile.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

constexpr std::streamsize kMaxFileBytes = 1 << 20; // configs, certificates and keys are small

} // namespace

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
    try {
        YAML::Node node = YAML::Load(text);
        return node.IsNull() ? YAML::Node(YAML::NodeType::Map) : node;
    } catch (const YAML::Exception& error) {
        throw CConfigError{path + ": " + error.what()};
    }
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
            throw CConfigError{where + ": unknown key '" + key + "'"};
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
