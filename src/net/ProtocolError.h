#pragma once

#include <stdexcept>

// The server said something the protocol does not allow, or a reply broke a size bound.
class ProtocolError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
