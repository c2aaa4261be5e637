// Text as JSON string literals, for what the page's entry points hand its script.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// text as a JSON string literal: quotes, backslashes and control characters escaped, every other
// byte as it is (UTF-8 stays UTF-8).
inline std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// texts as a JSON array of strings.
inline std::string jsonStrings(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (const std::string& text : texts) {
        out += (out.size() > 1 ? "," : "") + jsonString(text);
    }
    return out + "]";
}
