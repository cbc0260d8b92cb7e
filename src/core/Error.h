#pragma once
// The family of the errors this program throws: each is a std::exception whose what() says
// what went wrong, so a caller that knows none of them still has a message.
#include <stdexcept>

class CError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
