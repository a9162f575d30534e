#pragma once
// Small text and clock helpers every layer shares: ASCII lower case, UTF-8
// characters, the local time.

#include <ctime>
#include <string>

namespace support {

// The text with A-Z lowered; every other byte (UTF-8 included) is kept.
std::string AsciiLower(std::string text);

// The number of characters (code points) of UTF-8 text: every byte that does
// not continue a sequence starts one.
int CountChars(const std::string& text);

// Decodes UTF-8 into code points; false for malformed input (overlong forms,
// surrogates, truncated sequences).
bool DecodeUtf8(const std::string& text, std::u32string& out);
// Decodes UTF-8 whatever it holds: a byte that is not part of a well-formed
// sequence stands for itself.
std::u32string DecodeUtf8Leniently(const std::string& text);

// The local calendar time of `when` (thread-safe on every platform).
std::tm LocalTime(std::time_t when);

}  // namespace support
