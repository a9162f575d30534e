#pragma once
// Realistic mail-merge results in Word's shape, made from data of our own:
// the samples that ship with the program, test inputs and benchmark inputs.
//
// A merge holds one section per record. Every record but the last ends with a
// paragraph whose properties carry a next-page section break; the last
// record's section properties close the body. All sections refer to one
// letterhead header (with a logo image) and one footer ("Page X of Y", with
// PAGE and SECTIONPAGES fields and cached results), and every section
// restarts its page numbering, as a merged letter set up for printing does.
//
// The output depends on the kind, the record count and the options only:
// the same arguments always give the same parts, byte for byte, and a merge of
// n records begins with the same n records as any longer merge of that seed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "docx/zip_writer.h"

namespace samples {

enum class Kind {
  kLetters,          // customer letters: address block, details table, numbered list
  kInvoices,         // invoices: billing block, line-item table with totals, numbered terms
  kCertificates,     // landscape certificates with a seal image in each record
  kBenchmarkLetter,  // a plain one-page letter (header image, footer, table)
};

// "letters", "invoices", "certificates", "benchmark".
std::string KindName(Kind kind);
std::optional<Kind> ParseKind(const std::string& name);

struct Options {
  std::uint64_t seed = 2021;
  // The sender shown in the letterhead and the signatures.
  std::string company = "Quillory Trading Ltd";
};

// One merged record's data.
struct Record {
  int index = 0;      // from 1
  std::string title;  // "Mrs.", "Mr.", "Ms.", "Dr." or "" (no title)
  std::string firstName, lastName;
  std::string organisation;  // may be empty
  std::string street, postcode, city, country;
  std::string account;  // "QT-4471-2093"
  std::string date;     // "12 March 2024"
  std::int64_t balanceCents = 0;

  // "Mrs. Anna Novák" (the title left out when there is none).
  std::string FullName() const;
  // "Dear Mrs. Novák," or "Dear Anna Novák," without a title.
  std::string Salutation() const;
};

// The first `count` records of the given seed.
std::vector<Record> MakeRecords(int count, std::uint64_t seed);

// The package's parts in writing order. Throws std::invalid_argument when
// `records` is below 1.
docx::PartList BuildMerge(Kind kind, int records, const Options& options = {});

// Builds the merge and writes it as a .docx package; throws
// std::runtime_error (with the path) when the file cannot be written.
void WriteMerge(const std::string& path, Kind kind, int records, const Options& options = {});

// One of the merges that ship with the program.
struct ShippedSample {
  std::string fileName;  // "Customer Letters.docx"
  Kind kind;
  int records;
  std::uint64_t seed;
};
// The merges of the "Samples" folder.
const std::vector<ShippedSample>& ShippedSamples();
// The merge behind "Sample Mail Merge Document.doc" (written as .docx here and
// converted to the legacy format by the build).
ShippedSample HelpSample();

// An 8-bit RGBA image, row by row from the top.
struct Image {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
};

// A complete PNG file (colour type 6, one IDAT chunk, no interlace).
// Throws std::invalid_argument when the size and the pixel data disagree.
std::string EncodePng(const Image& image);

// The letterhead's logo and the certificates' seal, drawn in code.
Image LogoImage();
Image SealImage();

}  // namespace samples
