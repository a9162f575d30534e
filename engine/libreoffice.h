#pragma once
// LibreOffice as the reader and writer of the formats our own word processor
// does not handle: Word 97-2003 (.doc, .dot), RTF, OpenDocument text (.odt,
// .ott), a .docx our reader refuses; and the PDF of every piece.
//
// OfficeFactory wraps another factory (our built-in word processor). Each
// document it is asked to open is looked at by its content: one in another
// format is converted once by LibreOffice into a .docx in a private folder and
// opened from there, so that splitting and naming run the one code path of
// our own word processor. The pieces saved from it are collected and, when the
// instance quits, converted back into the input's own format all together and
// moved under their final names. LibreOffice runs headless, with a profile in
// the private folder, started only for the documents that need it, and never
// outlives the factory.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/word.h"

namespace support {
class Host;
}

namespace engine {

// The formats a document's first bytes show.
enum class DocumentFormat {
  kZip,               // a zip package other than OpenDocument (a .docx, we hope)
  kWord97,            // an OLE compound file with a Word document (97-2003, also 6.0/95)
  kEncryptedPackage,  // an OLE compound file holding an encrypted .docx
  kOtherCompound,     // an OLE compound file with neither (a spreadsheet, say)
  kWord2,             // a Word for Windows 1.x/2.x file
  kRtf,
  kOdfText,  // OpenDocument text or text template
  kOther,
};
struct Sniffed {
  DocumentFormat format = DocumentFormat::kOther;
  bool encrypted = false;  // a Word 97-2003 file protected by a password
  bool odfTemplate = false;
};
Sniffed SniffDocument(const std::string& path);
// Whether a file names word/document.xml anywhere in its first 256 MB (a zip
// package our reader refused may still be a Word document LibreOffice reads).
bool NamesWordPart(const std::string& path);

struct OfficeOptions {
  // Also look where installers put LibreOffice when the PATH has none. The
  // environment variable PARVANE_SOFFICE, when set, names the program instead
  // ("none": do without LibreOffice).
  bool usualFolders = true;
  // Each LibreOffice start may take this long, plus the shares below.
  double baseSeconds = 120;
  double secondsPerMegabyte = 30;
  double secondsPerPiece = 3;
  // How many LibreOffices may convert the pieces at once (0: one a core, up
  // to four).
  int processes = 0;
  // Where what LibreOffice writes of the pieces, and its own temporary
  // files, go when there is room ("": the system's folder in memory, if it
  // has one).
  std::string memoryFolder;
};

class OfficeFactory : public word::Factory {
 public:
  // `host` gets the progress texts and a yield while LibreOffice works, and
  // is asked at every save whether a PDF of the piece is wanted.
  OfficeFactory(word::Factory& inner, support::Host& host, OfficeOptions options = {});
  // Ends LibreOffice if it still runs and removes the private folder.
  ~OfficeFactory() override;
  OfficeFactory(const OfficeFactory&) = delete;
  OfficeFactory& operator=(const OfficeFactory&) = delete;

  word::ApplicationPtr CreateApplication() override;
  word::ApplicationPtr GetRunningApplication() override;
  // Handed to the wrapped factory, which answers for running instances.
  void SetWatchedDocuments(std::function<std::vector<std::string>()> source) override;

  // The private folder of this factory ("" until LibreOffice was first needed).
  std::string PrivateFolder() const;
  // How many times LibreOffice was started, counting those kept running for
  // the session's later conversions.
  int Starts() const;
  // How many batches of files LibreOffice was given to convert, by a start
  // of its own or by one kept running.
  int Calls() const;
  // How many files LibreOffice was given to load, in all.
  int Loads() const;
  // Whether a piece saved through this factory, or its PDF, was put under
  // `path` (a piece LibreOffice converts is put there only when the instance
  // quits, and not at all when its conversion fails).
  bool Placed(const std::string& path) const;

  class Session;

 private:
  word::Factory& inner_;
  std::shared_ptr<Session> session_;
};

// For a program that is ending in the middle of a run: kills every
// LibreOffice this program started and removes every private folder and the
// sockets they were seen to listen on; later conversions are refused. Never
// throws.
void EndOfficeNow();
// The same for a signal handler: only kills LibreOffice and refuses later
// conversions; the factories remove their folders as they go.
void StopOfficeFromSignal();
// True once either of the two above was called.
bool OfficeStopping();

}  // namespace engine
