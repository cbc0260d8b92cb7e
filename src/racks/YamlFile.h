#pragma once
// The rack list and the exporter's web config, YAML files read strictly: a key the file may not
// hold, or a value of the wrong shape, is a CConfigError naming the file and the place.
#include "racks/ConfigError.h"

#include <yaml-cpp/yaml.h>

#include <initializer_list>
#include <string>
#include <string_view>

// The file's document; an empty file is an empty map. Text that is not UTF-8, and a key
// given twice in one map, are refused with their line.
YAML::Node LoadYamlFile(const std::string& path);
// "path:LINE" for node, which came from the file at path.
std::string Place(const std::string& path, const YAML::Node& node);
// Fails unless node is a map (or absent) whose keys are all among allowed; with path, an
// unknown key is named at its own line of that file, else at where.
void CheckKeys(const YAML::Node& node, std::initializer_list<std::string_view> allowed,
               const std::string& where, const std::string& path = {});
// The scalar at node[key], or fallback when it is absent.
std::string ScalarOr(const YAML::Node& node, const char* key, const std::string& fallback,
                     const std::string& where);
// The whole text of a regular file of at most 1 MiB, read within 5 s, or a CConfigError
// saying why not (a FIFO or device, too large, unreadable, or a read that hangs).
std::string ReadSmallFile(const std::string& path);
