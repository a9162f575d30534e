#include "docx/page_layout.h"

#include <algorithm>
#include <functional>
#include <string>

#include "support/text.h"

namespace docx {

namespace {

// A line of at least this many letters may be looked for a little further on
// (the story holds something the layout did not print); shorter ones (page
// numbers, list labels) only where the story goes on.
constexpr std::size_t kNearLetters = 8;
// A page found nowhere near is looked for anywhere further on by a line this long.
constexpr std::size_t kFarLetters = 16;
// How far on a line is looked for: this many letters, plus four times its own length.
constexpr std::size_t kNearWindow = 300;
// A numbered list's label ("1.", "iv)") stands before the line's own text.
constexpr std::size_t kLabelLetters = 3;

// What a character counts as when the two texts are compared: letters and
// digits, in lower case; ligatures spelled out; nothing for spacing,
// punctuation, symbols, bullets and marks of our own (pictures, note marks).
void Fold(char32_t c, const std::function<void(char32_t)>& emit) {
  if (c < 0x80) {
    if (c >= 'A' && c <= 'Z')
      emit(c + 0x20);
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
      emit(c);
    return;
  }
  if (c < 0xC0 || c == 0xD7 || c == 0xF7) return;  // Latin-1 spacing, punctuation, signs
  if (c >= 0xFB00 && c <= 0xFB06) {
    static const char* const kLigatures[] = {"ff", "fi", "fl", "ffi", "ffl", "st", "st"};
    for (const char* p = kLigatures[c - 0xFB00]; *p; ++p) emit(static_cast<char32_t>(*p));
    return;
  }
  if ((c >= 0x2000 && c <= 0x206F) ||  // general punctuation, invisible format marks
      (c >= 0x2190 && c <= 0x2BFF) ||  // arrows, operators, shapes, dingbats
      (c >= 0x3000 && c <= 0x3003) || (c >= 0xE000 && c <= 0xF8FF) ||  // private use (symbol fonts)
      (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || c >= 0xFFF0 || c == 0x00AD)
    return;
  if (c >= 0xC0 && c <= 0xDE)
    c += 0x20;
  else if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    c |= 1;
  else if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && (c & 1))
    c += 1;
  else if ((c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F))
    c += 0x20;
  else if (c >= 0x400 && c <= 0x40F)
    c += 0x50;
  emit(c);
}

using Letters = std::vector<char32_t>;

Letters FoldText(const std::vector<char32_t>& text) {
  Letters out;
  for (char32_t c : text) Fold(c, [&](char32_t f) { out.push_back(f); });
  return out;
}

bool At(const Letters& s, std::size_t at, const Letters& line, std::size_t skip = 0) {
  const std::size_t n = line.size() - skip;
  return at + n <= s.size() && std::equal(line.begin() + skip, line.end(), s.begin() + at);
}

// Where `line` occurs in s within [from, to), or npos.
std::size_t Find(const Letters& s, std::size_t from, std::size_t to, const Letters& line) {
  if (line.empty() || from >= s.size()) return std::string::npos;
  to = std::min(to, s.size());
  const auto begin = s.begin() + static_cast<std::ptrdiff_t>(from);
  const auto end = s.begin() + static_cast<std::ptrdiff_t>(to);
  const auto hit =
      std::search(begin, end, std::boyer_moore_horspool_searcher(line.begin(), line.end()));
  if (hit == end) return std::string::npos;
  const std::size_t at = static_cast<std::size_t>(hit - s.begin());
  return at + line.size() <= s.size() ? at : std::string::npos;
}

}  // namespace

std::vector<int> MatchPageStarts(const std::string& story, const std::vector<std::string>& pages) {
  // The story's characters, its letters, and where each letter stands.
  const std::u32string chars = support::DecodeUtf8Leniently(story);
  Letters s;
  std::vector<int> where;
  s.reserve(chars.size());
  where.reserve(chars.size());
  for (std::size_t i = 0; i < chars.size(); ++i) {
    Fold(chars[i], [&](char32_t f) {
      s.push_back(f);
      where.push_back(static_cast<int>(i));
    });
  }
  const int length = static_cast<int>(chars.size());
  auto position = [&](std::size_t letter) {
    return letter < where.size() ? where[letter] : length;
  };
  // A page that opens with a quote, a bullet, a tab or a picture opens with
  // those characters, not with its first letter.
  auto opening = [&](int at, int floor) {
    while (at > floor) {
      const char32_t c = chars[static_cast<std::size_t>(at - 1)];
      if (c == ' ' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == '\a') break;
      bool letter = false;
      Fold(c, [&](char32_t) { letter = true; });
      if (letter) break;
      --at;
    }
    return at;
  };

  std::vector<int> starts;
  std::size_t cursor = 0;  // the letter after the last one a page was seen to hold
  for (std::size_t page = 0; page < pages.size(); ++page) {
    std::vector<Letters> lines;
    {
      const std::u32string text = support::DecodeUtf8Leniently(pages[page]);
      std::vector<char32_t> line;
      for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
          Letters folded = FoldText(line);
          if (!folded.empty()) lines.push_back(std::move(folded));
          line.clear();
        } else {
          line.push_back(text[i]);
        }
      }
    }
    const std::size_t before = cursor;
    // How a line fits where the story goes on: whole, or after a label.
    auto fitsHere = [&](const Letters& line) -> std::size_t {
      if (At(s, cursor, line)) return line.size();
      for (std::size_t skip = 1; skip <= kLabelLetters && line.size() >= skip + 4; ++skip)
        if (At(s, cursor, line, skip)) return line.size() - skip;
      return 0;
    };
    auto near = [&](const Letters& line) {
      if (line.size() < kNearLetters) return std::string::npos;
      return Find(s, cursor, cursor + kNearWindow + 4 * line.size(), line);
    };

    // The page's text begins with the first line found exactly where the
    // story goes on; its header lines come before that one and are passed
    // over. Only when no line is found there is a line looked for further on.
    std::size_t first = lines.size();
    std::size_t found = std::string::npos;
    for (std::size_t i = 0; i < lines.size() && first == lines.size(); ++i) {
      if (const std::size_t n = fitsHere(lines[i])) {
        first = i;
        found = cursor;
        cursor += n;
      }
    }
    for (int pass = 0; pass < 2 && first == lines.size(); ++pass) {
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t at = pass == 0 ? near(lines[i])
                               : lines[i].size() >= kFarLetters
                                   ? Find(s, cursor, s.size(), lines[i])
                                   : std::string::npos;
        if (at == std::string::npos) continue;
        first = i;
        found = at;
        cursor = at + lines[i].size();
        // Short lines just before it that the story holds just before it
        // are the page's own.
        for (std::size_t k = i; k-- > 0;) {
          if (lines[k].size() > found - before || !At(s, found - lines[k].size(), lines[k])) break;
          found -= lines[k].size();
        }
        break;
      }
    }
    for (std::size_t i = first + 1; i < lines.size(); ++i) {
      if (const std::size_t n = fitsHere(lines[i])) {
        cursor += n;
      } else if (const std::size_t at = near(lines[i]); at != std::string::npos) {
        cursor = at + lines[i].size();
      }
    }
    if (page == 0) {
      starts.push_back(0);
      continue;
    }
    const std::size_t letter = found == std::string::npos ? before : found;
    int start = position(letter);
    start = opening(start, starts.back());
    starts.push_back(std::max(start, starts.back()));
  }
  return starts;
}

bool HasLetters(const std::string& text) {
  bool found = false;
  for (char32_t c : support::DecodeUtf8Leniently(text)) {
    Fold(c, [&](char32_t) { found = true; });
    if (found) return true;
  }
  return false;
}

}  // namespace docx
