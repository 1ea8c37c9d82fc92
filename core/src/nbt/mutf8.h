#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kubic {

// Java's Modified UTF-8 (NUL as C0 80, characters beyond the Basic
// Multilingual Plane as two 3-byte surrogates) to UTF-8. Decoding is
// lenient: every byte that starts no valid sequence, and every lone
// surrogate, becomes U+FFFD, so a bad string never makes a document
// unreadable. Standard 4-byte UTF-8 sequences are accepted as they are.
std::string decode_modified_utf8(const uint8_t* bytes, size_t length);

// UTF-8 to Modified UTF-8; invalid input bytes are written as U+FFFD.
std::string encode_modified_utf8(std::string_view text);

}  // namespace kubic
