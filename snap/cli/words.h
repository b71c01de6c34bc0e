// Words compared as people type them: ASCII letters in either case, every
// other byte as it is (so a UTF-8 name never matches by accident).
#pragma once

#include <cstddef>
#include <cstring>

inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The `length` bytes at `text` are `word`, in any case.
// The `length` bytes at `text` and the `wordLength` bytes at `word`, in any case.
inline bool sameWordAnyCase(const char* text, size_t length, const char* word, size_t wordLength) {
    if (wordLength != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (asciiLower(text[i]) != asciiLower(word[i])) return false;
    return true;
}

inline bool sameWordAnyCase(const char* text, size_t length, const char* word) {
    return sameWordAnyCase(text, length, word, strlen(word));
}

inline bool sameWordAnyCase(const char* text, const char* word) {
    return sameWordAnyCase(text, strlen(text), word);
}
