#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kubic {

// The parts of `text` between separators ("a,b" is "a" and "b"; "" none).
std::vector<std::string_view> split_text(std::string_view text, char separator);

// Removes every character of the Unicode White_Space set (UTF-8 encoded).
std::string remove_whitespace(std::string_view text);

// Parses an optional single '+' or '-' followed by one or more digits and
// nothing else, within the range of T.
std::optional<int64_t> parse_decimal_i64(std::string_view text);
std::optional<int32_t> parse_decimal_i32(std::string_view text);

// Nothing for valid UTF-8; otherwise the decoder's message, such as
// "invalid utf-8 sequence of 1 bytes from index 3".
std::optional<std::string> utf8_error(std::string_view bytes);

}  // namespace kubic
