// The two ways a recording ends early, shared by its parts.
#pragma once

#include <stdexcept>

// A failure with a message ready for the user.
struct RecordError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A signal asked the recorder to stop; signal is its number.
struct Interrupted {
    int signal = 0;
};
