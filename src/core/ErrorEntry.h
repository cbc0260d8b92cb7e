#pragma once
// One entry of the mainframe's error queue.
#include <string>

struct ErrorEntry {
    int code;
    std::string text;
};
