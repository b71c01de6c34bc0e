// Names as messages show them: whole, with control characters and
// backslashes escaped (\n, \t, \\, \x1b), so that every line stays one line.
// Header-only: the argument parser and the name guess use it on their own.
#pragma once

#include <cstdio>
#include <string>

inline std::string shownName(const char* name) {
    std::string shown;
    for (const char* p = name ? name : ""; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\n') shown += "\\n";
        else if (c == '\t') shown += "\\t";
        else if (c == '\r') shown += "\\r";
        else if (c == '\\') shown += "\\\\";
        else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

// "'name'", shown so.
inline std::string quotedName(const char* name) {
    return "'" + shownName(name) + "'";
}
