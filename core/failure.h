#pragma once

#include <stdexcept>

namespace tessaly {

// The one way a step reports that it failed, everywhere in the program.
// Procedures that run "skipping failing steps" catch it step by step; the
// others let it travel to their caller.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace tessaly
