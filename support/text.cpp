#include "support/text.h"

namespace support {

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

int CountChars(const std::string& text) {
  int n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

namespace {

// The well-formed sequence at `i`: its length (0 when there is none) and its
// code point. Overlong forms, surrogates and truncated sequences are not.
int DecodeAt(const std::string& text, std::size_t i, char32_t& cp) {
  const auto c = static_cast<unsigned char>(text[i]);
  int extra = 0;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    extra = 1;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + extra >= text.size()) return 0;
  for (int k = 1; k <= extra; ++k) {
    const auto d = static_cast<unsigned char>(text[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return extra + 1;
}

}  // namespace

bool DecodeUtf8(const std::string& text, std::u32string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const int length = DecodeAt(text, i, cp);
    if (length == 0) return false;
    out.push_back(cp);
    i += length;
  }
  return true;
}

std::u32string DecodeUtf8Leniently(const std::string& text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const int length = DecodeAt(text, i, cp);
    out.push_back(length > 0 ? cp : static_cast<unsigned char>(text[i]));
    i += length > 0 ? length : 1;
  }
  return out;
}

std::tm LocalTime(std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  return local;
}

}  // namespace support
