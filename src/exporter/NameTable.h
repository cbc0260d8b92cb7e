#pragma once
// Names taken from the command line and the configuration files, looked up in a table of
// (name, value) pairs, exactly as written.
#include <optional>
#include <string_view>
#include <type_traits>

template <typename Table>
auto ByName(const Table& table, std::string_view name)
    -> std::optional<std::remove_cvref_t<decltype(table[0].second)>> {
    for (const auto& [key, value] : table) {
        if (name == key) {
            return value;
        }
    }
    return std::nullopt;
}
