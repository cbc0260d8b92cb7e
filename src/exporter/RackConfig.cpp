#include "exporter/RackConfig.h"

#include "core/Text.h"
#include "exporter/YamlFile.h"

#include <set>

namespace {

RackConfig RackFrom(const YAML::Node& node, const std::string& where) {
    CheckKeys(node, {"resource", "name", "blowers", "error_queue"}, where);
    RackConfig rack;
    rack.resource = AsciiUpper(ScalarOr(node, "resource", "", where));
    if (rack.resource.empty()) {
        throw CConfigError{where + ": resource is missing"};
    }
    rack.name = ScalarOr(node, "name", "", where);
    const std::string blowers = ScalarOr(node, "blowers", "", where);
    if (!blowers.empty()) {
        if (blowers != "1" && blowers != "2" && blowers != "3") {
            throw CConfigError{where + ": blowers must be 1, 2 or 3"};
        }
        rack.blowers = blowers[0] - '0';
    }
    const std::string queue = ScalarOr(node, "error_queue", "drain", where);
    if (queue != "drain" && queue != "leave") {
        throw CConfigError{where + ": error_queue must be drain or leave"};
    }
    rack.errorQueue = queue == "leave" ? ErrorQueueUse::Leave : ErrorQueueUse::Drain;
    return rack;
}

} // namespace

std::vector<RackConfig> LoadRackConfig(const std::string& path) {
    const YAML::Node root = LoadYamlFile(path);
    CheckKeys(root, {"racks"}, path);
    const YAML::Node racks = root["racks"];
    if (!racks || !racks.IsSequence()) {
        throw CConfigError{path + ": racks must be a list"};
    }
    std::vector<RackConfig> result;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < racks.size(); ++i) {
        const std::string where = path + ": racks[" + std::to_string(i) + "]";
        result.push_back(RackFrom(racks[i], where));
        if (!seen.insert(result.back().resource).second) {
            throw CConfigError{where + ": " + result.back().resource + " is named twice"};
        }
    }
    return result;
}
