// Names as messages show them: whole, with control characters, backslashes
// and bytes that are not UTF-8 escaped (\n, \t, \\, \x1b, \xff), so that
// every line stays one line and a terminal is handed only text it can show.
// Header-only: the argument parser and the name guess use it on their own.
#pragma once

#include <cstdio>
#include <string>

// The length of the UTF-8 character at `p` (1 to 4 bytes) that a message may
// hold as it is, or 0 where the bytes are no character (a stray continuation
// byte, an overlong form, a surrogate, a code point past U+10FFFF, or one cut
// short: a NUL is no continuation byte, so nothing is read past the end) or
// are a C1 control or line break. ASCII controls are 1: shownName escapes them.
inline int utf8CharacterLength(const unsigned char* p) {
    static const unsigned lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    int length;
    unsigned code;
    if (p[0] < 0x80) return 1;
    if (p[0] >= 0xc2 && p[0] <= 0xdf) length = 2, code = p[0] & 0x1fu;
    else if ((p[0] & 0xf0) == 0xe0) length = 3, code = p[0] & 0x0fu;
    else if (p[0] >= 0xf0 && p[0] <= 0xf4) length = 4, code = p[0] & 0x07u;
    else return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xc0) != 0x80) return 0;
        code = code << 6 | (p[i] & 0x3fu);
    }
    if (code < lowest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
    // C1 controls (NEL among them) and the line and paragraph separators
    // break or steer a line as the ASCII controls do.
    if ((code >= 0x80 && code <= 0x9f) || code == 0x2028 || code == 0x2029) return 0;
    return length;
}

inline std::string shownName(const char* name) {
    std::string shown;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name ? name : "");
    while (*p) {
        const unsigned char c = *p;
        const int length = utf8CharacterLength(p);
        if (c == '\n') shown += "\\n";
        else if (c == '\t') shown += "\\t";
        else if (c == '\r') shown += "\\r";
        else if (c == '\\') shown += "\\\\";
        else if (length && c >= 0x20 && c != 0x7f) shown.append(reinterpret_cast<const char*>(p), length);
        else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
        p += length > 1 ? length : 1;
    }
    return shown;
}

// "'name'", shown so.
inline std::string quotedName(const char* name) {
    return "'" + shownName(name) + "'";
}
