// One fuzz input that carries two texts: the bytes before the first NUL and those after it (the
// second is empty when there is no NUL).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

inline std::pair<std::string, std::string> splitAtFirstNul(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t split = 0;
    while (split < size && data[split] != 0) {
        ++split;
    }
    const size_t secondStart = split < size ? split + 1 : size;
    return {std::string(bytes, split), std::string(bytes + secondStart, size - secondStart)};
}
