// libFuzzer target: a package received as bytes is opened, every section's
// text (and its header and footer) is read, and the first sections are split
// into pieces in memory with the same edits the splitter makes. Every piece
// must open again. A package we refuse with docx::Error is a sound outcome;
// any other exception, a crash or a sanitizer report is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "docx/document.h"
#include "docx/errors.h"

namespace {

constexpr int kPiecesPerInput = 3;

bool EndsWithLineEnd(const std::string& text) {
  return !text.empty() && (text.back() == '\r' || text.back() == '\n');
}

// One record's piece: the section pasted into a new document, its breaks
// replaced, its end trimmed and a trailing page break removed; then saved.
std::string Piece(docx::Document& source, int section) {
  const auto [start, end] = source.SectionRange(section);
  auto piece = docx::Document::New();
  docx::Clipboard clipboard;
  source.Copy(start, end, clipboard);
  piece->Paste(clipboard);
  piece->ReplaceAll("^b", "");
  const auto [lastStart, lastEnd] = piece->SectionRange(piece->SectionCount());
  int selectionEnd = lastEnd;
  std::string selected = piece->Text(lastStart, selectionEnd);
  while (EndsWithLineEnd(selected) && docx::CountChars(selected) > 1) {
    --selectionEnd;
    selected = piece->Text(lastStart, selectionEnd);
  }
  if (docx::CountChars(selected) <= 2) piece->Delete(selectionEnd, selectionEnd + 1);
  for (int k = piece->ParagraphCount(); k >= 1; --k) {
    const auto [ps, pe] = piece->ParagraphRange(k);
    const std::string text = piece->Text(ps, pe);
    if (!text.empty() && text[0] == '\f') {
      piece->Delete(ps, pe);
      break;
    }
    if (docx::CountChars(text) > 1) break;
  }
  return piece->Bytes("docx");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::shared_ptr<docx::Document> doc;
  try {
    doc = docx::Document::FromBytes(std::string(reinterpret_cast<const char*>(data), size),
                                    "fuzz.docx");
  } catch (const docx::Error&) {
    return 0;
  }
  int sections = 0;
  try {
    sections = doc->SectionCount();
    for (int i = 1; i <= sections; ++i) {
      const auto [start, end] = doc->SectionRange(i);
      doc->Text(start, end);
      doc->HeaderFooterText(i, false);
      doc->HeaderFooterText(i, true);
    }
    for (int page = 1; page <= doc->PageCount() && page <= 3; ++page) doc->PageStart(page);
  } catch (const docx::Error&) {
    return 0;
  }
  for (int i = 1; i <= sections && i <= kPiecesPerInput; ++i) {
    std::string bytes;
    try {
      bytes = Piece(*doc, i);
    } catch (const docx::Error&) {
      continue;  // a damaged part shared by the pieces, reported by the splitter
    }
    // What we write we must be able to read.
    try {
      auto again = docx::Document::FromBytes(bytes, "piece.docx");
      again->Text(0, again->StoryLength());
    } catch (const docx::Error& e) {
      std::fprintf(stderr, "A piece of section %d does not open again: %s\n", i, e.what());
      std::abort();
    }
  }
  return 0;
}
