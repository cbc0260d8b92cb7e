#pragma once
// A rack list or another strictly read YAML file, or what it names, that cannot be used:
// the message names the file and the place.
#include "core/Error.h"

#include <string>

class CConfigError : public CError {
public:
    explicit CConfigError(std::string text) : CError(text), message(std::move(text)) {}

    std::string message;
};
