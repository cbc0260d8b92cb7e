#include "racks/RackConfig.h"

#include "core/ResourceName.h"
#include "core/Text.h"
#include "racks/YamlFile.h"

#include <map>

namespace {

// "path:LINE" of the rack's key, or of the rack where the key is absent: a message points
// at the line to mend.
std::string At(const std::string& path, const YAML::Node& rack, const char* key) {
    const YAML::Node value = rack.IsMap() ? rack[key] : YAML::Node();
    return Place(path, value ? value : rack);
}

RackConfig RackFrom(const YAML::Node& node, const std::string& path) {
    const std::string where = Place(path, node);
    CheckKeys(node, {"resource", "name", "blowers", "error_queue"}, where, path);
    RackConfig rack;
    rack.resource = AsciiUpper(ScalarOr(node, "resource", "", At(path, node, "resource")));
    if (rack.resource.empty()) {
        throw CConfigError{where + ": resource is missing"};
    }
    if (!CanonicalResourceName(rack.resource)) {
        throw CConfigError{At(path, node, "resource") +
                           ": resource is not a VISA resource name (printable ASCII, "
                           "no spaces, such as VXI0::24::INSTR)"};
    }
    rack.name = ScalarOr(node, "name", "", At(path, node, "name"));
    const std::string blowers = ScalarOr(node, "blowers", "", At(path, node, "blowers"));
    if (!blowers.empty()) {
        if (blowers != "1" && blowers != "2" && blowers != "3") {
            throw CConfigError{At(path, node, "blowers") + ": blowers must be 1, 2 or 3"};
        }
        rack.blowers = blowers[0] - '0';
    }
    const std::string queue = ScalarOr(node, "error_queue", "drain", At(path, node, "error_queue"));
    if (queue != "drain" && queue != "leave") {
        throw CConfigError{At(path, node, "error_queue") + ": error_queue must be drain or leave"};
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
        throw CConfigError{(racks ? Place(path, racks) : path) + ": racks must be a list"};
    }
    std::vector<RackConfig> result;
    std::map<std::string, std::pair<std::string, std::string>> seen; // canonical -> spelling, place
    for (std::size_t i = 0; i < racks.size(); ++i) {
        const std::string where = Place(path, racks[i]);
        result.push_back(RackFrom(racks[i], path));
        const std::string& resource = result.back().resource;
        const auto [known, added] =
            seen.emplace(*CanonicalResourceName(resource), std::pair{resource, where});
        if (!added) {
            std::string message = where;
            message.append(": ").append(resource).append(" names the same rack as ");
            message.append(known->second.first).append(" (").append(known->second.second);
            throw CConfigError{message + ")"};
        }
    }
    return result;
}
