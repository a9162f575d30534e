// LibreOffice as a converter beside our own word processor.

#include "engine/libreoffice.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "docx/document.h"
#include "docx/errors.h"
#include "docx/file_write.h"
#include "docx/page_layout.h"
#include "docx/xml.h"
#include "engine/builtin.h"
#include "engine/office_process.h"
#include "support/host.h"
#include "support/memory_folder.h"
#include "support/native_text.h"
#include "support/paths.h"
#include "support/private_files.h"
#include "support/text.h"

namespace engine {

namespace fs = std::filesystem;

namespace {

// ---- What a file is --------------------------------------------------------

std::string ReadHead(const fs::path& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  return bytes;
}

std::string ReadAll(const fs::path& path, std::uintmax_t limit) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec || size > limit) return std::string();
  // In one read: LibreOffice's settings are megabytes.
  return ReadHead(path, static_cast<std::size_t>(size));
}

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

unsigned Word16(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// A Word 97-2003 file keeps its header (the FIB) at the start of a sector of
// the WordDocument stream: the magic A5EC, the version, and a flags word whose
// bit 8 says the document is encrypted.
bool WordFileEncrypted(const std::string& bytes) {
  for (std::size_t at = 512; at + 12 <= bytes.size(); at += 512) {
    if (Word16(bytes, at) != 0xA5EC) continue;
    const unsigned version = Word16(bytes, at + 2);
    if (version < 0x60 || version > 0x200) continue;
    return (Word16(bytes, at + 0x0A) & 0x0100) != 0;
  }
  return false;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Whether LibreOffice may read a Word package our reader refused: a damaged or
// malformed one, yes; one refused for its size (a decompression bomb), its
// password or because it cannot be read at all, never.
bool LibreOfficeMayRead(docx::Status status) {
  switch (status) {
    case docx::Status::kCannotOpen:
    case docx::Status::kEmpty:
    case docx::Status::kEncrypted:
    case docx::Status::kTooLarge:
      return false;
    default:
      return true;
  }
}

// ---- Names and places ------------------------------------------------------

constexpr std::uintmax_t kScanLimit = 256u << 20;

std::string ExtensionOf(const std::string& path) {
  const std::string name = support::GetFileName(path);
  const auto dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? std::string()
                                              : support::AsciiLower(name.substr(dot + 1));
}

// Content key of a file: its size and a 64-bit FNV-1a of its bytes.
std::string ContentKey(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::uint64_t hash = 1469598103934665603ull;
  std::uint64_t size = 0;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < got; ++i) {
      hash ^= static_cast<unsigned char>(buffer[i]);
      hash *= 1099511628211ull;
    }
    size += got;
  }
  return std::to_string(size) + ":" + std::to_string(hash);
}

// A file's size, 0 when it cannot be read.
std::uint64_t Bytes(const fs::path& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

double Megabytes(const fs::path& path) {
  return static_cast<double>(Bytes(path)) / (1024.0 * 1024.0);
}

// Puts a finished file under its final name as a save of our own does: under
// a short temporary name of its own in the same folder first, then renamed,
// so that the final name never holds half a file. A folder that refuses it
// (full, read-only, gone) is reported as the folder's fault.
void Place(const fs::path& from, const std::string& finalPath) {
  const std::string bytes = ReadAll(from, std::numeric_limits<std::uintmax_t>::max());
  std::error_code ec;
  if (bytes.size() != Bytes(from) || !fs::is_regular_file(from, ec))
    throw word::AutomationError("Cannot save " + finalPath + ": LibreOffice's file " +
                                support::FromFsPath(from.filename()) + " cannot be read.");
  try {
    docx::PutFileInPlace(finalPath, bytes);
  } catch (const docx::FolderError& e) {
    throw word::FolderError(e.what());
  } catch (const docx::Error& e) {
    throw word::AutomationError(e.what());
  }
}

// ---- Every private folder of this program, for an ending in mid-run --------

std::mutex foldersMutex;
std::set<std::string>& LiveFolders() {
  static std::set<std::string> folders;
  return folders;
}
std::atomic<bool> ending{false};

// ---- The output formats ----------------------------------------------------

struct Target {
  std::string filter;     // for --convert-to
  std::string extension;  // of what LibreOffice writes
  std::string signature;  // its first bytes
};

const Target kDocx{"docx:MS Word 2007 XML", "docx", "PK"};
const Target kPdf{"pdf:writer_pdf_Export", "pdf", "%PDF"};

// What a LibreOffice of ours runs to convert files into more than one format
// with one load each (LibreOffice's command line converts into one): the
// lines of <profile>/user/parvane-N.lst name each file as "input filter
// (or nothing), TAB, input URL", then "TAB, filter, TAB, output URL" per
// format. A file that cannot be loaded or stored is passed over; which
// outputs exist is for the caller to check.
constexpr const char* kConvertModule = R"(Sub Run(n As Long)
  On Error GoTo Done
  Dim list As String, f As Integer, s As String
  list = createUnoService("com.sun.star.util.PathSubstitution").substituteVariables( _
    "$(user)/parvane-" & n & ".lst", True)
  f = FreeFile
  Open list For Input As #f
  Do While Not EOF(f)
    Line Input #f, s
    If s <> "" Then Convert(Split(s, Chr(9)))
  Loop
  Close #f
Done:
End Sub

Sub Convert(parts)
  On Error GoTo Failed
  Dim doc As Object, i As Integer
  Dim plain(0) As New com.sun.star.beans.PropertyValue
  Dim named(1) As New com.sun.star.beans.PropertyValue
  plain(0).Name = "Hidden" : plain(0).Value = True
  named(0).Name = "Hidden" : named(0).Value = True
  named(1).Name = "FilterName" : named(1).Value = parts(0)
  If parts(0) = "" Then
    doc = StarDesktop.loadComponentFromURL(parts(1), "_blank", 0, plain())
  Else
    doc = StarDesktop.loadComponentFromURL(parts(1), "_blank", 0, named())
  End If
  If IsNull(doc) Then Exit Sub
  For i = 2 To UBound(parts) - 1 Step 2
    Store(doc, parts(i), parts(i + 1))
  Next i
Cleanup:
  On Error Resume Next
  If Not IsNull(doc) Then doc.close(True)
  Exit Sub
Failed:
  Resume Cleanup
End Sub

Sub Store(doc, filter As String, url As String)
  On Error GoTo Failed
  Dim args(1) As New com.sun.star.beans.PropertyValue
  args(0).Name = "FilterName" : args(0).Value = filter
  args(1).Name = "Overwrite" : args(1).Value = True
  doc.storeToURL(url, args())
Failed:
End Sub
)";

// A LibreOffice start costs about as much as converting this many pieces.
constexpr std::size_t kPiecesPerStart = 25;

// Where `chunks` batches of `n` pieces begin (and, last, where the last one
// ends), so that they end together: the first `quick` batches start nothing,
// each of the others first spends the time of `start` pieces starting.
std::vector<std::size_t> Shares(std::size_t n, std::size_t chunks, std::size_t quick,
                                std::size_t start) {
  const std::size_t slow = chunks - quick;
  const std::size_t total = n + slow * start;
  std::size_t quickShare = total / chunks;
  std::size_t slowShare = quickShare > start ? quickShare - start : 0;
  if (quick == 0 || slow == 0 || slowShare == 0) quickShare = slowShare = 0;
  std::vector<std::size_t> bounds{0};
  for (std::size_t c = 0; c < chunks; ++c) {
    const std::size_t even = (c + 1) * n / chunks;
    const std::size_t next = quickShare == 0 ? even
                             : c + 1 == chunks
                                 ? n
                                 : bounds.back() + (c < quick ? quickShare : slowShare);
    bounds.push_back(std::min(next, n));
  }
  return bounds;
}

std::string Describe(DocumentFormat format) {
  switch (format) {
    case DocumentFormat::kWord97:
    case DocumentFormat::kWord2:
      return "a Word 97-2003 document";
    case DocumentFormat::kRtf:
      return "a Rich Text Format (RTF) document";
    case DocumentFormat::kOdfText:
      return "an OpenDocument text";
    default:
      return "a document";
  }
}

// LibreOffice's program: PARVANE_SOFFICE when set (empty or "none": no
// LibreOffice at all), else the one on the PATH or in the usual folders.
std::string Soffice(bool usualFolders) {
  if (const char* chosen = std::getenv("PARVANE_SOFFICE")) {
    const std::string program = chosen;
    return program == "none" ? std::string() : program;
  }
  return office::FindSoffice(usualFolders);
}

}  // namespace

Sniffed SniffDocument(const std::string& path) {
  Sniffed result;
  const fs::path file = support::ToFsPath(path);
  // Opening a pipe for reading waits for a writer, maybe for ever: what is
  // not a regular file is left to the reader's own reports.
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return result;
  const std::string head = ReadHead(file, 128);
  if (StartsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
    const std::string bytes = ReadAll(file, kScanLimit);
    if (bytes.find(Utf16("EncryptedPackage")) != std::string::npos ||
        bytes.find(Utf16("EncryptionInfo")) != std::string::npos) {
      result.format = DocumentFormat::kEncryptedPackage;
      return result;
    }
    // Word keeps its text in a stream of this name, since Word 6; without
    // one LibreOffice would take the file for plain text and make a piece
    // of its bytes.
    if (bytes.find(Utf16("WordDocument")) == std::string::npos) {
      result.format = DocumentFormat::kOtherCompound;
      return result;
    }
    result.format = DocumentFormat::kWord97;
    result.encrypted = WordFileEncrypted(bytes);
  } else if (head.size() >= 2 &&
             (static_cast<unsigned char>(head[0]) == 0xDB ||
              static_cast<unsigned char>(head[0]) == 0x9B) &&
             static_cast<unsigned char>(head[1]) == 0xA5) {
    result.format = DocumentFormat::kWord2;
  } else if (StartsWith(head, "{\\rtf")) {
    result.format = DocumentFormat::kRtf;
  } else if (StartsWith(head, "PK\x03\x04") && head.size() >= 30) {
    // OpenDocument: the first entry is "mimetype", stored, holding the type.
    const unsigned nameLength = Word16(head, 26);
    const unsigned extraLength = Word16(head, 28);
    const std::string name = head.substr(30, nameLength);
    const std::string mime = head.size() > 30 + nameLength + extraLength
                                 ? head.substr(30 + nameLength + extraLength)
                                 : std::string();
    if (name == "mimetype" && StartsWith(mime, "application/vnd.oasis.opendocument.text")) {
      result.format = DocumentFormat::kOdfText;
      result.odfTemplate = StartsWith(mime, "application/vnd.oasis.opendocument.text-template");
    } else {
      result.format = DocumentFormat::kZip;
    }
  }
  return result;
}

bool NamesWordPart(const std::string& path) {
  return ReadAll(support::ToFsPath(path), kScanLimit).find("word/document.xml") !=
         std::string::npos;
}

// ---- The session: the private folder, the profile, the conversions ---------

class OfficeFactory::Session {
 public:
  Session(support::Host& host, OfficeOptions options) : host_(host), options_(options) {}
  ~Session() { Remove(); }

  support::Host& host() { return host_; }
  const OfficeOptions& options() const { return options_; }
  int starts() const { return starts_; }
  // Final paths that a piece or its PDF was put under.
  std::set<std::string>& placed() { return placed_; }
  int calls() const { return calls_; }
  int loads() const { return loads_; }
  std::string folder() const {
    return folder_.empty() ? std::string() : support::FromFsPath(folder_);
  }

  // A new empty folder inside the private folder.
  fs::path NewJob() {
    const fs::path job = Folder() / ("job-" + std::to_string(++jobs_));
    fs::create_directories(job);
    return job;
  }

  // The name LibreOffice's copy of `input` is given: its own where
  // LibreOffice can save what it converts of it, else a plain one.
  static fs::path CopyName(const fs::path& input) {
    const std::string name = support::FromFsPath(input.filename());
    std::u32string decoded;
    if (name.size() <= 200 && support::DecodeUtf8(name, decoded)) return input.filename();
    std::string extension = support::FromFsPath(input.extension());
    const bool plain =
        extension.size() <= 6 &&
        std::all_of(extension.begin() + (extension.empty() ? 0 : 1), extension.end(), [](char c) {
          return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        });
    return support::ToFsPath("document" + (plain ? extension : std::string()));
  }

  // The input converted into a .docx of ours, kept until the session ends;
  // the same content is converted once.
  fs::path ConvertInput(const std::string& path, DocumentFormat format,
                        const std::string& installAdvice) {
    const fs::path input = support::ToFsPath(path);
    const std::string key = ContentKey(input);
    if (auto found = converted_.find(key); !key.empty() && found != converted_.end())
      return found->second;
    const std::string name = support::GetFileName(path);
    const fs::path job = NewJob();
    fs::create_directories(job / "in");
    fs::create_directories(job / "out");
    // LibreOffice reads a copy: the input is never touched, and no lock file
    // of LibreOffice's appears beside it. The copy keeps the input's name, so
    // that fields showing the file name keep showing it; LibreOffice cannot
    // save the conversion of a name that is not UTF-8 or near the system's
    // limit, and such a copy has a plain one.
    const fs::path copy = job / "in" / CopyName(input);
    std::error_code ec;
    fs::copy_file(input, copy, ec);
    if (ec) throw word::AutomationError("Cannot read " + path + ": " + ec.message() + ".");
    host_.SetProgressText("Converting: " + name);
    const double seconds = options_.baseSeconds + options_.secondsPerMegabyte * Megabytes(copy);
    Run({copy}, kDocx, job / "out", seconds, name, installAdvice);
    const fs::path result = job / "out" / (support::FromFsPath(copy.stem()) + ".docx");
    if (!IsWhole(result, kDocx.signature)) {
      throw word::AutomationError("LibreOffice could not open " + name +
                                  ": it is damaged, protected by a password, or not a document "
                                  "LibreOffice reads." +
                                  LogTail(lastLog_));
    }
    fs::remove_all(job / "in", ec);
    if (!key.empty()) converted_[key] = result;
    return result;
  }

  // Why a batch into several formats was not run: LibreOffice's profile
  // could not be given what converts into them with one load.
  static inline const std::string kNotPrepared =
      "LibreOffice could not be prepared to convert into several formats at once.";
  // How the report of a LibreOffice that crashed begins.
  static inline const std::string kCrashed = "LibreOffice ended unexpectedly";

  // Files LibreOffice converts into every one of `targets` in `out`
  // (distinct stems); into more than one only where ConvertsInOneLoad.
  struct Batch {
    std::vector<fs::path> files;
    std::vector<Target> targets;
    fs::path out;
    std::string infilter;  // what the files are, when known: LibreOffice need not find out

    // What LibreOffice writes of `file` in `target`'s format.
    fs::path Output(const fs::path& file, const Target& target) const {
      return out / (support::FromFsPath(file.stem()) + "." + target.extension);
    }
  };

  // Converts `files` into `target` in `out`. Throws when LibreOffice cannot be
  // had, fails or takes too long; which outputs exist is for the caller to check.
  void Run(const std::vector<fs::path>& files, const Target& target, const fs::path& out,
           double seconds, const std::string& what, const std::string& installAdvice) {
    const auto why = RunBatches({Batch{files, {target}, out, {}}}, seconds, what, installAdvice);
    if (!why.front().empty()) throw word::AutomationError(why.front());
  }

  // Runs every batch at once, each by a LibreOffice with a profile of its
  // own: one kept running for the session when one is ready and idle, else
  // one started for the batch. One text per batch: "" when it ran to its
  // end, else why not.
  std::vector<std::string> RunBatches(const std::vector<Batch>& batches, double seconds,
                                      const std::string& what, const std::string& installAdvice) {
    std::vector<std::string> why(batches.size());
    auto all = [&](const std::string& text) {
      std::fill(why.begin(), why.end(), text);
      return why;
    };
    if (ending.load()) return all(Ending(what));
    const std::string soffice = Soffice(options_.usualFolders);
    if (soffice.empty()) return all("LibreOffice was not found: " + installAdvice + ".");
    std::uint64_t largest = 0;  // bytes of the largest file to convert
    for (const Batch& batch : batches)
      for (const auto& file : batch.files) largest = std::max(largest, Bytes(file));
    const std::string temp = TempFolder(4 * largest);
    std::vector<Server*> servedBy(batches.size(), nullptr);
    std::vector<std::uintmax_t> serverLogFrom(batches.size(), 0);
    std::vector<office::Program> programs;
    std::vector<std::size_t> of;  // the batch each program converts
    int started = 0;
    for (std::size_t i = 0; i < batches.size(); ++i) {
      office::Program program;
      program.program = soffice;
      fs::path profile;
      const Batch& batch = batches[i];
      const bool several = batch.targets.size() > 1;
      // A LibreOffice kept running does not wait for a macro handed over to
      // it: a conversion into several formats starts one of its own.
      if (Server* server = several ? nullptr : IdleServer()) {
        // It hands the request to the LibreOffice running on that profile
        // and waits until it is done.
        server->busy = true;
        servedBy[i] = server;
        profile = server->profile;
        std::error_code ec;
        serverLogFrom[i] = fs::file_size(server->log, ec);
        if (ec) serverLogFrom[i] = 0;
      } else {
        profile = Folder() / ("profile-" + std::to_string(started++));
        if (!Prepare(profile, soffice) && several) why[i] = kNotPrepared;
        // Its own: the pipe it makes goes with it, however it ends.
        program.socket = office::OfficePipe(ProfileUrl(profile));
      }
      program.args = Headless(profile);
      program.tempFolder = temp;
      if (several) {
        const std::string list = std::to_string(i + 1);
        std::ofstream out(profile / "user" / ("parvane-" + list + ".lst"), std::ios::binary);
        for (const auto& file : batch.files) {
          out << batch.infilter << '\t' << office::FileUrl(support::FromFsPath(file));
          for (const Target& target : batch.targets)
            out << '\t' << target.filter.substr(target.filter.find(':') + 1) << '\t'
                << office::FileUrl(support::FromFsPath(batch.Output(file, target)));
          out << '\n';
        }
        out.close();
        if (!out) why[i] = kNotPrepared;
        program.args.push_back("macro:///Standard.Parvane.Run(" + list + ")");
      } else {
        if (!batch.infilter.empty()) program.args.push_back("--infilter=" + batch.infilter);
        for (const std::string& arg : {std::string("--convert-to"), batch.targets.front().filter,
                                       std::string("--outdir"), support::FromFsPath(batch.out)})
          program.args.push_back(arg);
        for (const auto& file : batch.files) program.args.push_back(support::FromFsPath(file));
      }
      program.logFile = support::FromFsPath(Folder() / ("soffice-" + std::to_string(i) + ".log"));
      if (!why[i].empty()) continue;  // not to be run
      programs.push_back(std::move(program));
      of.push_back(i);
      loads_ += static_cast<int>(batch.files.size());
    }
    starts_ += started;
    calls_ += static_cast<int>(batches.size());
    // Once these conversions are under way, the cores they leave free start
    // LibreOffices for the next ones.
    bool serversStarted = false;
    auto startServers = [&] {
      if (!serversStarted && !ending.load())
        StartServers(soffice, Processes() - static_cast<int>(batches.size()));
      serversStarted = true;
    };
    const auto results = office::RunPrograms(programs, seconds, [&] {
      startServers();
      // Those kept running are looked at meanwhile too: what a kill leaves
      // of one that was never looked at is not found after it.
      for (auto& server : servers_) server->program.Running();
      host_.Yield();
      return !ending.load();
    });
    startServers();
    using Outcome = office::ProgramResult::Outcome;
    for (std::size_t k = 0; k < results.size(); ++k) {
      const auto& result = results[k];
      const std::size_t i = of[k];
      if (Server* server = servedBy[i]) {
        server->busy = false;
        // What LibreOffice said about these files is in its own log.
        AppendTail(server->log, serverLogFrom[i], programs[k].logFile);
        // Only a hand-over that ended well leaves it idle: otherwise it may
        // still be at these files, and the next batch would wait behind it.
        if (result.outcome != Outcome::kExited || result.exitCode != 0) server->program.Kill();
      }
      // A program that is ending kills every LibreOffice at once, which
      // may be seen to end before the ending is (on Windows as an exit with
      // an error): not LibreOffice's fault.
      const bool clean = result.outcome == Outcome::kExited && result.exitCode == 0;
      // LibreOffice's launcher exits with 128 and the number of the signal
      // that ended the program it ran, as a shell does: a crash, not an answer
      // about the file.
      const bool signalled = result.outcome == Outcome::kExited && result.exitCode >= 128;
      const std::string detail =
          signalled ? "signal " + std::to_string(result.exitCode - 128) : result.detail;
      const Outcome outcome = ending.load() && !clean && result.outcome != Outcome::kNotStarted
                                  ? Outcome::kStopped
                              : signalled ? Outcome::kCrashed
                                          : result.outcome;
      switch (outcome) {
        case Outcome::kExited:
          break;
        case Outcome::kNotStarted:
          why[i] = "LibreOffice (" + soffice + ") could not be started (" + result.detail +
                   "): " + installAdvice + ".";
          break;
        case Outcome::kTimedOut:
          why[i] = "LibreOffice did not finish converting " + what + " within " +
                   std::to_string(static_cast<long long>(seconds)) +
                   " seconds and was stopped; the file may be damaged or too large.";
          break;
        case Outcome::kCrashed:
          why[i] = kCrashed + " (" + detail + ") while converting " + what +
                   "; the file may be damaged." + LogTail(programs[k].logFile);
          break;
        case Outcome::kStopped:
          why[i] = Ending(what);
          break;
      }
    }
    std::erase_if(servers_,
                  [](const auto& server) { return !server->busy && !server->program.Running(); });
    if (!programs.empty()) lastLog_ = programs.front().logFile;
    return why;
  }

  // How many LibreOffices kept running could take a batch right now: the
  // first batches of the next call go to them.
  std::size_t IdleServers() {
    std::size_t idle = 0;
    for (auto& server : servers_)
      if (!server->busy && Ready(*server)) ++idle;
    return idle;
  }

  // Whether a profile of ours can convert a file into several formats with
  // one load (see Prepare).
  bool ConvertsInOneLoad() {
    const std::string soffice = Soffice(options_.usualFolders);
    if (soffice.empty()) return false;
    Installation(soffice);
    return !version_.empty() && !presets_.empty() && !presetsFailed_;
  }

  // How many LibreOffices may convert at once.
  int Processes() const {
    if (options_.processes > 0) return options_.processes;
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  }

  // The text of every page of a document as LibreOffice lays it out (its PDF
  // read by pdftotext, page by page), once per content. Without LibreOffice
  // or pdftotext: nothing, and the notice that page numbers may be off, once
  // per session.
  const std::vector<std::string>* PageTexts(const std::string& path) {
    const fs::path input = support::ToFsPath(path);
    const std::string key = ContentKey(input);
    if (key.empty()) return nullptr;  // unreadable: it opened from elsewhere, or not at all
    if (auto found = layouts_.find(key); found != layouts_.end())
      return found->second ? &*found->second : nullptr;
    std::optional<std::vector<std::string>>& slot = layouts_[key];
    try {
      slot = LayOut(input);
    } catch (const word::AutomationError& e) {
      if (!noLayoutNoticed_ && !ending.load()) {
        noLayoutNoticed_ = true;
        host_.Notify(std::string("Page numbers may be off for documents without rendered page "
                                 "marks: their pages were counted from their page and section "
                                 "breaks only, as ") +
                     e.what());
      }
      slot.reset();
    }
    return slot ? &*slot : nullptr;
  }

  // A compound file is whole sectors, and the sectors its header names (the
  // directory's first, the allocation table's) lie inside it: LibreOffice
  // writes the directory last and copies its result into place 32 KB at a
  // time, so a file cut short ends on a whole sector all the same.
  static bool WholeCompoundFile(const fs::path& file, std::uintmax_t size) {
    const std::string header = ReadHead(file, 512);
    if (header.size() < 512) return false;
    auto word32 = [&](std::size_t at) {
      return static_cast<std::uint32_t>(Word16(header, at)) |
             (static_cast<std::uint32_t>(Word16(header, at + 2)) << 16);
    };
    const unsigned shift = Word16(header, 0x1E);
    if (shift != 9 && shift != 12) return false;
    const std::uintmax_t sector = std::uintmax_t{1} << shift;
    if (size % sector != 0 || size < 3 * sector) return false;
    auto inside = [&](std::uint32_t index) {
      return index < 0xFFFFFFFA && (std::uintmax_t{index} + 2) * sector <= size;
    };
    if (!inside(word32(0x30))) return false;
    const std::uint32_t tables = std::min<std::uint32_t>(word32(0x2C), 109);
    for (std::uint32_t i = 0; i < tables; ++i)
      if (!inside(word32(0x4C + 4 * i))) return false;
    return true;
  }

  // Whether `file` begins with `signature` and ends as a whole file of its
  // kind does: what a LibreOffice that died while writing left is not.
  static bool IsWhole(const fs::path& file, const std::string& signature) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return false;
    if (!StartsWith(ReadHead(file, signature.size()), signature)) return false;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec) return false;
    if (StartsWith(signature, "\xD0\xCF\x11\xE0")) return WholeCompoundFile(file, size);
    // The end of a zip's central directory lies within its last 64 KB; a
    // PDF ends with its "%%EOF"; an RTF file closes its outer group.
    const std::uintmax_t tailSize = StartsWith(signature, "PK") ? 65557 : 1024;
    const std::uintmax_t from = size > tailSize ? size - tailSize : 0;
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    if (static_cast<std::uintmax_t>(in.gcount()) != tail.size()) return false;
    if (StartsWith(signature, "PK")) return tail.find("PK\x05\x06") != std::string::npos;
    if (StartsWith(signature, "%PDF")) return tail.find("%%EOF") != std::string::npos;
    if (StartsWith(signature, "{\\rtf")) {
      const auto last = tail.find_last_not_of(std::string(" \t\r\n\0", 5));
      return last != std::string::npos && tail[last] == '}';
    }
    return true;
  }

  void Remove() {
    // The LibreOffices kept running end with the session; every other one
    // has been waited for by now.
    servers_.clear();
    for (fs::path* folder : {&folder_, &memoryFolder_}) {
      if (folder->empty()) continue;
      std::error_code ec;
      fs::remove_all(*folder, ec);
      std::lock_guard<std::mutex> lock(foldersMutex);
      LiveFolders().erase(support::FromFsPath(*folder));
      office::NoLongerToTidy(support::FromFsPath(*folder));
      folder->clear();
    }
    tempFolder_.clear();
    converted_.clear();
  }

  // A new empty folder for what LibreOffice writes of `bytes` or so, which
  // is moved on as soon as it is written: in memory when the system has a
  // folder there with room for it many times over, else in `fallback`.
  // LibreOffice syncs every file it saves to the disk, which costs more than
  // converting a small piece.
  fs::path OutputFolder(std::uint64_t bytes, const fs::path& fallback) {
    const std::string memory =
        options_.memoryFolder.empty() ? support::MemoryFolder() : options_.memoryFolder;
    if (memory.empty()) return fallback;
    std::error_code ec;
    const std::uint64_t free = fs::space(support::ToFsPath(memory), ec).available;
    constexpr std::uint64_t kSpare = 256u << 20;
    if (ec || free < kSpare || (free - kSpare) / 8 < bytes) return fallback;
    if (memoryFolder_.empty()) {
      try {
        memoryFolder_ = support::ToFsPath(support::MakePrivateFolder(memory, "parvane-office-"));
      } catch (const std::exception&) {
        return fallback;
      }
      std::lock_guard<std::mutex> lock(foldersMutex);
      LiveFolders().insert(support::FromFsPath(memoryFolder_));
      office::TidyIfKilled(support::FromFsPath(memoryFolder_));
    }
    const fs::path job = memoryFolder_ / ("job-" + std::to_string(++jobs_));
    if (!fs::create_directory(job, ec) || ec) return fallback;
    return job;
  }

 private:
  fs::path Folder() {
    if (!folder_.empty()) return folder_;
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    // A relative TMPDIR would give LibreOffice a profile URL it cannot use.
    if (!ec) base = fs::absolute(base, ec);
    if (ec) {
      // The folder the system names (TMPDIR; on Windows TMP or TEMP), if any.
      std::string named;
      for (const char* variable : {"TMPDIR", "TMP", "TEMP"})
        if (named.empty() && !support::EnvironmentValue(variable).empty())
          named = std::string(" (") + variable + " is " + support::EnvironmentValue(variable) + ")";
      throw word::AutomationError("No temporary folder for LibreOffice" + named + ": " +
                                  ec.message() + ".");
    }
    try {
      folder_ = support::ToFsPath(
          support::MakePrivateFolder(support::FromFsPath(base), "parvane-office-"));
    } catch (const std::system_error& e) {
      throw word::AutomationError("Cannot make a private folder for LibreOffice in " +
                                  support::FromFsPath(base) + ": " + e.code().message() + ".");
    }
    std::lock_guard<std::mutex> lock(foldersMutex);
    LiveFolders().insert(support::FromFsPath(folder_));
    office::TidyIfKilled(support::FromFsPath(folder_));
    return folder_;
  }

  // Where the LibreOffices of this session keep their temporary files, which
  // hold a document of `bytes` or so at a time: in a private folder of ours,
  // so that those of one that is ended go with it.
  std::string TempFolder(std::uint64_t bytes) {
    if (tempFolder_.empty()) {
      tempFolder_ = OutputFolder(bytes, Folder() / "temp");
      std::error_code ec;
      fs::create_directories(tempFolder_, ec);
    }
    return support::FromFsPath(tempFolder_);
  }

  std::vector<std::string> LayOut(const fs::path& input) {
    const std::string name = support::FromFsPath(input.filename());
    const std::string pdftotext = office::FindOnPath("pdftotext");
    const std::string advice =
        "install LibreOffice and poppler's pdftotext to count the pages a reader sees";
    if (pdftotext.empty()) throw word::AutomationError("pdftotext was not found: " + advice + ".");
    const fs::path job = NewJob();
    struct Cleanup {
      fs::path job;
      ~Cleanup() {
        std::error_code ec;
        fs::remove_all(job, ec);
      }
    } cleanup{job};
    fs::create_directories(job / "in");
    fs::create_directories(job / "out");
    const fs::path copy = job / "in" / CopyName(input);
    std::error_code ec;
    fs::copy_file(input, copy, ec);
    if (ec) throw word::AutomationError("cannot read " + name + ": " + ec.message() + ".");
    host_.SetProgressText("Laying out pages: " + name);
    const double seconds = options_.baseSeconds + options_.secondsPerMegabyte * Megabytes(copy);
    Run({copy}, kPdf, job / "out", seconds, name, advice);
    const fs::path pdf = job / "out" / (support::FromFsPath(copy.stem()) + ".pdf");
    if (!IsWhole(pdf, kPdf.signature))
      throw word::AutomationError("LibreOffice could not lay out " + name + "." +
                                  LogTail(lastLog_));
    const fs::path text = job / "out" / "pages.txt";
    const auto result = office::RunProgram(
        pdftotext, {"-enc", "UTF-8", support::FromFsPath(pdf), support::FromFsPath(text)},
        support::FromFsPath(job / "pdftotext.log"), seconds, [this] {
          host_.Yield();
          return !ending.load();
        });
    if (result.outcome != office::ProgramResult::kExited || result.exitCode != 0)
      throw word::AutomationError("pdftotext could not read the layout of " + name + ".");
    // pdftotext ends every page with a form feed.
    std::vector<std::string> pages;
    const std::string all = ReadAll(text, kScanLimit);
    std::size_t from = 0;
    for (std::size_t at = all.find('\f'); at != std::string::npos; at = all.find('\f', from)) {
      pages.push_back(all.substr(from, at - from));
      from = at + 1;
    }
    if (from < all.size() && all.find_first_not_of("\n ", from) != std::string::npos)
      pages.push_back(all.substr(from));
    return pages;
  }

  // LibreOffice's arguments for a start without windows on `profile`.
  static std::string ProfileUrl(const fs::path& profile) {
    return office::FileUrl(support::FromFsPath(profile));
  }

  static std::vector<std::string> Headless(const fs::path& profile) {
    // The profile is thrown away with the session, so LibreOffice need not
    // pack a backup copy of it at every exit, as it would by default.
    return {"-env:UserInstallation=" + ProfileUrl(profile),
            "-env:SecureUserConfig=false",
            "--headless",
            "--invisible",
            "--nologo",
            "--nodefault",
            "--norestore",
            "--nolockcheck"};
  }

  // A new profile is made to look as LibreOffice leaves it after its first
  // start: without its last version, every start of LibreOffice on it would
  // run its graphics self-tests first, which take longer than converting
  // a document. Where the installation's presets are found they are copied
  // in as that first start would, with our conversion into several formats
  // (kConvertModule) beside them; true when the profile holds it.
  bool Prepare(const fs::path& profile, const std::string& soffice) {
    std::error_code ec;
    if (fs::exists(profile, ec)) return withMacro_.count(profile) > 0;
    Installation(soffice);
    if (version_.empty()) return false;
    const fs::path user = profile / "user";
    fs::create_directories(user, ec);
    if (ec) return false;
    bool macro = false;
    if (!presets_.empty() && !presetsFailed_ && CopyPresets(user)) {
      const fs::path standard = user / "basic" / "Standard";
      if (fs::is_directory(standard, ec)) {
        std::string modules;
        for (const auto& entry : fs::directory_iterator(standard, ec)) {
          const fs::path name = entry.path();
          if (name.extension() == ".xba" && name.stem() != "Parvane")
            modules += " <library:element library:name=\"" +
                       docx::EscapeXml(support::FromFsPath(name.stem())) + "\"/>\n";
        }
        std::ofstream list(standard / "script.xlb", std::ios::binary | std::ios::trunc);
        list << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<!DOCTYPE library:library PUBLIC \"-//OpenOffice.org//DTD OfficeDocument "
                "1.0//EN\" \"library.dtd\">\n"
                "<library:library xmlns:library=\"http://openoffice.org/2000/library\" "
                "library:name=\"Standard\" library:readonly=\"false\" "
                "library:passwordprotected=\"false\">\n"
             << modules << " <library:element library:name=\"Parvane\"/>\n</library:library>\n";
        std::ofstream module(standard / "Parvane.xba", std::ios::binary | std::ios::trunc);
        module << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<!DOCTYPE script:module PUBLIC \"-//OpenOffice.org//DTD OfficeDocument "
                  "1.0//EN\" \"module.dtd\">\n"
                  "<script:module xmlns:script=\"http://openoffice.org/2000/script\" "
                  "script:name=\"Parvane\" script:language=\"StarBasic\">"
               << docx::EscapeXml(kConvertModule) << "</script:module>\n";
        list.close();
        module.close();
        macro = !ec && list && module;
      }
    }
    if (!presets_.empty() && !macro) {
      // Nothing half-copied stays: LibreOffice makes the profile its own way
      // on its first start, and every piece is loaded once per format.
      presetsFailed_ = true;
      fs::remove_all(user, ec);
      fs::create_directories(user, ec);
    }
    // A profile whose extensions were set up by another build is cleaned and
    // set up anew by LibreOffice, which then starts itself once more: the
    // build named here is LibreOffice's own.
    if (!buildId_.empty()) {
      fs::create_directories(user / "extensions", ec);
      std::ofstream(user / "extensions" / "buildid", std::ios::binary) << buildId_;
    }
    std::ofstream settings(user / "registrymodifications.xcu", std::ios::binary);
    settings << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
                "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
                "<item oor:path=\"/org.openoffice.Setup/Product\"><prop "
                "oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\"><value>"
             << version_ << "</value></prop></item>\n";
    // The presets are in: LibreOffice would copy them again over ours.
    if (macro)
      settings << "<item oor:path=\"/org.openoffice.Setup/Office\"><prop "
                  "oor:name=\"ooSetupInstCompleted\" oor:op=\"fuse\"><value>true</value></prop>"
                  "</item>\n";
    settings << "</oor:items>\n";
    settings.close();
    if (!macro || !settings) return false;
    withMacro_.insert(profile);
    return true;
  }

  // The installation's presets, copied into the profile folder `user` file by
  // file into folders of ours, each copy writable by us (an installation may
  // keep them read-only). False when anything could not be copied.
  bool CopyPresets(const fs::path& user) {
    std::error_code ec;
    fs::recursive_directory_iterator it(presets_, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      const fs::path to = user / it->path().lexically_relative(presets_);
      if (it->is_directory(ec)) {
        fs::create_directories(to, ec);
      } else if (!ec && it->is_regular_file(ec)) {
        if (fs::copy_file(it->path(), to, fs::copy_options::skip_existing, ec))
          fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add,
                          ec);
      } else {
        return false;  // a link to nothing, or what no profile holds
      }
      if (ec) return false;
    }
    return !ec;
  }

  // What the installation `soffice` belongs to holds for a new profile.
  void Installation(const std::string& soffice) {
    if (installationRead_ == soffice) return;
    installationRead_ = soffice;
    version_ = InstalledVersion(soffice);
    buildId_.clear();
    presets_.clear();
    std::error_code ec;
    const fs::path program = fs::canonical(support::ToFsPath(soffice), ec).parent_path();
    if (ec) return;
    buildId_ = InstalledBuild(program);
    for (const fs::path& presets :
         {program / ".." / "presets", program / ".." / "Resources" / "presets"})
      if (fs::is_directory(presets / "basic" / "Standard", ec)) {
        presets_ = presets.lexically_normal();
        break;
      }
  }

  // The build of the LibreOffice in the program folder `program`, as its
  // version file names it ("40(Build:2)"); "" when it cannot be read.
  static std::string InstalledBuild(const fs::path& program) {
    for (const fs::path& file : {program / "versionrc", program / "version.ini",
                                 program / ".." / "Resources" / "versionrc"}) {
      const std::string text = ReadAll(file, 1 << 20);
      for (std::size_t at = text.find("buildid="); at != std::string::npos;
           at = text.find("buildid=", at + 1)) {
        if (at != 0 && text[at - 1] != '\n') continue;
        std::string id = text.substr(at + 8, text.find_first_of("\r\n", at) - at - 8);
        if (!id.empty() && id.size() < 64) return id;
      }
    }
    return std::string();
  }

  // The version of the LibreOffice `soffice` belongs to ("7.4"), from the
  // settings it was installed with; "" when they cannot be read.
  static std::string InstalledVersion(const std::string& soffice) {
    std::error_code ec;
    const fs::path program = fs::canonical(support::ToFsPath(soffice), ec).parent_path();
    if (ec) return std::string();
    for (const fs::path& settings : {program / ".." / "share" / "registry" / "main.xcd",
                                     program / ".." / "Resources" / "registry" / "main.xcd"}) {
      const std::string text = ReadAll(settings, 64u << 20);
      const std::size_t prop = text.find("<prop oor:name=\"ooSetupVersion\">");
      if (prop == std::string::npos) continue;
      const std::size_t open = text.find("<value>", prop);
      const std::size_t close = text.find("</value>", prop);
      if (open == std::string::npos || close == std::string::npos || close < open) continue;
      const std::string version = text.substr(open + 7, close - open - 7);
      if (!version.empty() && version.size() < 16 &&
          version.find_first_not_of("0123456789.") == std::string::npos)
        return version;
    }
    return std::string();
  }

  // A LibreOffice kept running for the session, with a profile of its own.
  // It holds a document open, so that it waits for more once a conversion
  // is done; another start of LibreOffice on the same profile hands its
  // conversion over to it.
  struct Server {
    office::Background program;
    fs::path profile;
    fs::path keep;  // the document it holds open
    std::string log;
    bool ready = false;
    bool busy = false;
  };

  // Only a LibreOffice installation (its program folder holds its
  // bootstrap settings) hands conversions over to one already running.
  static bool HandsOver(const std::string& soffice) {
    std::error_code ec;
    const fs::path program = fs::canonical(support::ToFsPath(soffice), ec);
    if (ec) return false;
    for (const char* settings : {"fundamentalrc", "fundamental.ini"})
      if (fs::exists(program.parent_path() / settings, ec)) return true;
    return false;
  }

  void StartServers(const std::string& soffice, int wanted) {
    wanted -= static_cast<int>(servers_.size());
    if (wanted <= 0 || !HandsOver(soffice)) return;
    for (int n = 0; n < wanted; ++n) {
      auto server = std::make_unique<Server>();
      const std::string slot = std::to_string(++servers_made_);
      const fs::path folder = Folder() / ("server-" + slot);
      std::error_code ec;
      fs::create_directories(folder, ec);
      server->profile = Folder() / ("server-profile-" + slot);
      server->keep = folder / "keep.docx";
      server->log = support::FromFsPath(Folder() / ("server-" + slot + ".log"));
      Prepare(server->profile, soffice);
      // A blank Word document of ours: opening it loads what reads our
      // pieces before the first of them comes.
      try {
        docx::Document::New()->SaveAs(support::FromFsPath(server->keep));
      } catch (const std::exception&) {
        return;
      }
      office::Program program;
      program.program = soffice;
      program.args = Headless(server->profile);
      program.args.push_back(support::FromFsPath(server->keep));
      program.socket = office::OfficePipe(ProfileUrl(server->profile));
      program.tempFolder = TempFolder(0);
      program.logFile = server->log;
      std::string why;
      if (ec || !server->program.Start(program, &why)) return;
      ++starts_;
      servers_.push_back(std::move(server));
    }
  }

  // A LibreOffice kept running that has opened its document (its lock file
  // is there) and converts nothing right now.
  Server* IdleServer() {
    for (auto& server : servers_)
      if (!server->busy && Ready(*server)) return server.get();
    return nullptr;
  }

  static bool Ready(Server& server) {
    if (!server.program.Running()) return false;
    if (!server.ready) {
      std::error_code ec;
      server.ready = fs::exists(server.keep.parent_path() / ".~lock.keep.docx#", ec);
      // Its pipe is made by now; an ending that kills it removes the pipe's file.
      if (server.ready) server.program.NoteSockets();
    }
    return server.ready;
  }

  static std::string Ending(const std::string& what) {
    return "The program is ending: LibreOffice stopped converting " + what + ".";
  }

  // What `from` gained since `offset` is added to the end of `to`.
  static void AppendTail(const std::string& from, std::uintmax_t offset, const std::string& to) {
    std::ifstream in(support::ToFsPath(from), std::ios::binary);
    if (!in) return;
    in.seekg(static_cast<std::streamoff>(offset));
    std::ofstream out(support::ToFsPath(to), std::ios::binary | std::ios::app);
    out << in.rdbuf();
  }

  // The last line LibreOffice wrote, when it said anything useful: its
  // warning at every start where Java is not set up says nothing about the
  // file.
  std::string LogTail(const std::string& log) const {
    std::string text = ReadAll(support::ToFsPath(log), 1 << 20);
    std::string last;
    std::size_t from = 0;
    while (from < text.size()) {
      std::size_t end = text.find('\n', from);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(from, end - from);
      from = end + 1;
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      if (!line.empty() && line.find("javaldx") == std::string::npos) last = std::move(line);
    }
    return last.empty() ? std::string() : " (LibreOffice: " + last + ")";
  }

  support::Host& host_;
  OfficeOptions options_;
  fs::path folder_;
  fs::path memoryFolder_;  // in memory, made by the first OutputFolder there
  fs::path tempFolder_;    // for the LibreOffices' own temporary files
  std::string lastLog_;
  int jobs_ = 0;
  int starts_ = 0;
  int calls_ = 0;
  int loads_ = 0;
  int servers_made_ = 0;
  std::string installationRead_;  // the soffice version_ and presets_ are of
  std::string version_;
  std::string buildId_;
  fs::path presets_;              // the installation's, for a new profile
  std::set<fs::path> withMacro_;  // profiles that hold kConvertModule
  bool presetsFailed_ = false;    // a profile could not be given them
  std::vector<std::unique_ptr<Server>> servers_;
  std::map<std::string, fs::path> converted_;
  std::set<std::string> placed_;
  std::map<std::string, std::optional<std::vector<std::string>>> layouts_;
  bool noLayoutNoticed_ = false;
};

namespace {

// ---- The automation objects ------------------------------------------------

using Session = OfficeFactory::Session;

// What the instance has to do with the pieces when it quits.
struct Pieces {
  struct Piece {
    fs::path work;          // our .docx in the private folder
    std::string finalPath;  // where the user gets it
    bool convert = false;   // into the input's format (else it is in place already)
    bool pdf = false;
  };
  std::vector<Piece> list;
  fs::path job;
  std::optional<Target> target;  // the input's own format, when not ours
  std::string inputName;
};

class OfficeDocument;

// The documents one instance opened or made, for a piece to find the
// document it was copied from.
struct Opened {
  std::vector<std::weak_ptr<OfficeDocument>> documents;
};

// A selection whose page moves use the pages a reader sees.
class OfficeSelection : public word::Selection {
 public:
  OfficeSelection(word::SelectionPtr inner, std::function<void()> ensurePages)
      : inner_(std::move(inner)), ensurePages_(std::move(ensurePages)) {}
  word::Find& GetFind() override { return inner_->GetFind(); }
  void MoveEnd(int unit, int count) override { inner_->MoveEnd(unit, count); }
  int CharactersCount() override { return inner_->CharactersCount(); }
  void Collapse(int direction) override { inner_->Collapse(direction); }
  void Delete() override { inner_->Delete(); }
  void GoTo(int what, int which, const std::string& name) override {
    // Page 1 starts at the start, whatever the layout.
    if (what == word::wdGoToPage && name != "1") ensurePages_();
    inner_->GoTo(what, which, name);
  }
  void EndKey(int unit, int extend) override { inner_->EndKey(unit, extend); }
  word::RangePtr GetRange() override { return inner_->GetRange(); }

 private:
  word::SelectionPtr inner_;
  std::function<void()> ensurePages_;
};

class OfficeDocument : public word::Document, public std::enable_shared_from_this<OfficeDocument> {
 public:
  // `layoutSource` is the file whose layout gives the pages (the input as the
  // user gave it); "" for a document made by the instance (a piece).
  OfficeDocument(word::DocumentPtr inner, std::shared_ptr<Session> session,
                 std::shared_ptr<Pieces> pieces, std::shared_ptr<Opened> opened,
                 std::string layoutSource = std::string())
      : inner_(std::move(inner)),
        session_(std::move(session)),
        pieces_(std::move(pieces)),
        opened_(std::move(opened)),
        layoutSource_(std::move(layoutSource)) {}
  int SectionsCount() override { return inner_->SectionsCount(); }
  word::SectionPtr Sections(int index) override { return inner_->Sections(index); }
  word::SectionPtr SectionsLast() override { return inner_->SectionsLast(); }
  int ParagraphsCount() override { return inner_->ParagraphsCount(); }
  word::RangePtr Paragraphs(int index) override { return inner_->Paragraphs(index); }
  word::RangePtr Content() override { return inner_->Content(); }
  void ContentPaste() override { inner_->ContentPaste(); }
  void ContentPasteAndFormat(int type) override { inner_->ContentPasteAndFormat(type); }
  void PrepareSave() override { inner_->PrepareSave(); }
  void PackPrepared() override { inner_->PackPrepared(); }
  word::SelectionPtr ActiveWindowSelection() override {
    auto inner = inner_->ActiveWindowSelection();
    if (!selection_ || selectionInner_ != inner) {
      selectionInner_ = inner;
      std::weak_ptr<OfficeDocument> self = weak_from_this();
      selection_ = std::make_shared<OfficeSelection>(inner, [self] {
        if (auto document = self.lock()) document->EnsurePages();
      });
    }
    return selection_;
  }
  int PagesCount(int pane) override {
    EnsurePages();
    return inner_->PagesCount(pane);
  }
  void Close(std::optional<int> saveChanges) override {
    closed_ = true;
    inner_->Close(saveChanges);
  }
  bool closed() const { return closed_; }

  // Gives our word processor the pages a reader sees, once: for a document
  // with the page marks Word renders when it saves, those (nothing to do);
  // for one without them whose text may flow over a page's end, LibreOffice's
  // layout of the input; for a piece, the pages of its part of the document
  // it was copied from (each record starts a page there and is laid out
  // alike in a file of its own).
  void EnsurePages() {
    if (pagesDone_) return;
    pagesDone_ = true;
    const auto doc = BuiltinDocumentOf(*inner_);
    if (!doc || doc->HasRenderedPageBreaks()) return;
    if (!layoutSource_.empty()) {
      if (!doc->MayFlowOverPages()) return;
      const std::vector<std::string>* pages = session_->PageTexts(layoutSource_);
      if (!pages) return;
      doc->SetLayoutPageStarts(docx::MatchPageStarts(doc->Text(0, doc->StoryLength()), *pages));
      return;
    }
    const auto& origin = doc->PastedFrom();
    const auto source = origin.source.lock();
    if (!source) return;
    for (const auto& weak : opened_->documents) {
      const auto document = weak.lock();
      if (document && document.get() != this && BuiltinDocumentOf(*document->inner_) == source) {
        document->EnsurePages();
        break;
      }
    }
    if (source->LayoutPageStarts().empty()) return;
    // The source's pages as it counts them: a record's first page pinned to
    // the section's start.
    std::vector<int> mine{0};
    for (int page = 2, count = source->PageCount(); page <= count; ++page) {
      const int start = source->PageStart(page);
      if (start > origin.start && start < origin.end) mine.push_back(start - origin.start);
    }
    doc->SetLayoutPageStarts(std::move(mine));
  }

  void SaveAs(const std::string& fileName) override {
    const bool pdf = session_->host().Settings().SavePdf;
    if (!pieces_->target && !pdf) {
      inner_->SaveAs(fileName);
      session_->placed().insert(fileName);
      return;
    }
    // The folder is checked now, as a save of our own would, rather than only
    // when the pieces are converted.
    const fs::path target = support::ToFsPath(fileName);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    if (fs::is_directory(target, ec))
      throw word::AutomationError("Cannot save " + fileName + ": a folder of that name exists.");
    if (!fs::is_directory(folder, ec))
      throw word::AutomationError("Cannot save " + fileName + ": the folder " +
                                  support::FromFsPath(folder) + " does not exist.");
    if (pieces_->job.empty()) pieces_->job = session_->NewJob();
    const fs::path work =
        pieces_->job /
        ("p" + support::ZeroPad(static_cast<long long>(pieces_->list.size()) + 1, 5) + ".docx");
    inner_->SaveAs(support::FromFsPath(work));
    Pieces::Piece piece{work, fileName, pieces_->target.has_value(), pdf};
    // A piece in our own format goes in place at once; the PDF follows.
    if (!piece.convert) {
      Place(work, fileName);
      session_->placed().insert(fileName);
    }
    pieces_->list.push_back(std::move(piece));
  }

 private:
  word::DocumentPtr inner_;
  std::shared_ptr<Session> session_;
  std::shared_ptr<Pieces> pieces_;
  std::shared_ptr<Opened> opened_;
  std::string layoutSource_;
  word::SelectionPtr selectionInner_;
  word::SelectionPtr selection_;
  bool pagesDone_ = false;
  std::atomic<bool> closed_{false};
};

class OfficeApplication : public word::Application {
 public:
  OfficeApplication(word::ApplicationPtr inner, std::shared_ptr<Session> session)
      : inner_(std::move(inner)),
        session_(std::move(session)),
        pieces_(std::make_shared<Pieces>()),
        opened_(std::make_shared<Opened>()) {}
  ~OfficeApplication() override {
    std::error_code ec;
    if (!pieces_->job.empty()) fs::remove_all(pieces_->job, ec);
  }

  std::string Name() override { return inner_->Name(); }
  std::string Version() override { return inner_->Version(); }
  void SetDisplayAlerts(bool on) override { inner_->SetDisplayAlerts(on); }
  // The selection of the document opened or made last that is still open,
  // as our word processor answers it.
  word::SelectionPtr GetSelection() override {
    for (auto it = opened_->documents.rbegin(); it != opened_->documents.rend(); ++it)
      if (auto document = it->lock(); document && !document->closed())
        return document->ActiveWindowSelection();
    return inner_->GetSelection();
  }
  word::DocumentPtr DocumentsAdd() override { return Track(inner_->DocumentsAdd(), std::string()); }
  // Adding a document changes the list a page move looks into: a caller that
  // works on two threads makes no page moves meanwhile.
  bool AllowsTwoThreads() override { return inner_->AllowsTwoThreads(); }

  word::DocumentPtr DocumentsOpen(const std::string& path) override {
    const Sniffed sniffed = SniffDocument(path);
    const std::string name = support::GetFileName(path);
    std::string extension = ExtensionOf(path);
    pieces_->inputName = name;
    switch (sniffed.format) {
      case DocumentFormat::kWord97:
      case DocumentFormat::kWord2:
      case DocumentFormat::kRtf:
      case DocumentFormat::kOdfText:
        break;
      case DocumentFormat::kZip:
        return Track(OpenOurs(path), path);
      case DocumentFormat::kOtherCompound:
        throw word::AutomationError(
            name +
                " is not a Word document: it is a file of Microsoft Office's older kind that holds "
                "no Word text (a spreadsheet or a presentation, say), or it is damaged.",
            docx::Status::kNotZip);
      case DocumentFormat::kOther:
        try {
          return inner_->DocumentsOpen(path);
        } catch (const word::AutomationError& refused) {
          // Named as one of LibreOffice's formats, which our reader's "not a
          // zip package" would not explain.
          if (refused.status() != docx::Status::kNotZip ||
              (extension != "doc" && extension != "dot" && extension != "rtf" &&
               extension != "odt" && extension != "ott"))
            throw;
          throw word::AutomationError(name +
                                          " is not a document Parvane can split: it is neither a "
                                          "Word document (.docx or .doc) nor RTF nor "
                                          "OpenDocument text, or it is damaged.",
                                      refused.status());
        }
      default:
        // Ours to refuse in its own words (an encrypted package, not a document).
        return inner_->DocumentsOpen(path);
    }
    if (sniffed.encrypted) {
      throw word::AutomationError(name +
                                  " is encrypted (protected by a password). Remove the "
                                  "password in Microsoft Word or LibreOffice, save it again "
                                  "and split that copy.");
    }
    if (extension.empty()) {
      extension = sniffed.format == DocumentFormat::kRtf       ? "rtf"
                  : sniffed.format == DocumentFormat::kOdfText ? "odt"
                                                               : "doc";
    }
    const std::string advice = "install LibreOffice to split ." + extension + " files";
    Target target;
    if (sniffed.format == DocumentFormat::kRtf) {
      target = {"rtf:Rich Text Format", "rtf", "{\\rtf"};
    } else if (sniffed.format == DocumentFormat::kOdfText) {
      target = sniffed.odfTemplate || extension == "ott"
                   ? Target{"ott:writer8_template", "ott", "PK"}
                   : Target{"odt:writer8", "odt", "PK"};
    } else {
      target = extension == "dot" ? Target{"dot:MS Word 97 Vorlage", "dot", "\xD0\xCF\x11\xE0"}
                                  : Target{"doc:MS Word 97", "doc", "\xD0\xCF\x11\xE0"};
    }
    fs::path converted;
    try {
      converted = session_->ConvertInput(path, sniffed.format, advice);
    } catch (const word::AutomationError& e) {
      throw word::AutomationError(name + " is " + Describe(sniffed.format) +
                                  " and could not be "
                                  "converted. " +
                                  e.what());
    }
    auto document = inner_->DocumentsOpen(support::FromFsPath(converted));
    pieces_->target = target;
    return Track(std::move(document), path);
  }

  void Quit() override {
    std::string problems;
    try {
      Finish();
    } catch (const std::exception& e) {
      // A folder of ours that cannot be made, say: our own word processor
      // is let go all the same.
      problems = e.what();
    }
    inner_->Quit();
    if (!problems.empty()) throw word::AutomationError(problems);
  }

 private:
  word::DocumentPtr Track(word::DocumentPtr inner, const std::string& layoutSource) {
    auto document = std::make_shared<OfficeDocument>(std::move(inner), session_, pieces_, opened_,
                                                     layoutSource);
    std::erase_if(opened_->documents, [](const auto& weak) {
      const auto d = weak.lock();
      return !d || d->closed();
    });
    opened_->documents.push_back(document);
    return document;
  }

  // A package: ours to read; when our reader refuses a Word package that
  // LibreOffice can read, LibreOffice's own rewrite of it is split instead.
  word::DocumentPtr OpenOurs(const std::string& path) {
    try {
      return inner_->DocumentsOpen(path);
    } catch (const word::AutomationError& refused) {
      if (!LibreOfficeMayRead(refused.status()) ||
          Soffice(session_->options().usualFolders).empty() || !NamesWordPart(path))
        throw;
      fs::path converted;
      try {
        converted = session_->ConvertInput(path, DocumentFormat::kZip, "install LibreOffice");
      } catch (const word::AutomationError& e) {
        throw word::AutomationError(std::string(refused.what()) + " " + e.what());
      }
      try {
        return inner_->DocumentsOpen(support::FromFsPath(converted));
      } catch (const word::AutomationError&) {
        throw refused;
      }
    }
  }

  // The pieces in the input's own format, and their PDFs.
  void Finish() {
    auto pieces = std::move(pieces_->list);
    pieces_->list.clear();
    if (pieces.empty()) return;

    // The conversions into the input's format and into PDF run side by side,
    // and a long list is shared among several LibreOffices, one a core: each
    // piece costs LibreOffice a fixed share of a second, each start a few.
    struct Group {
      std::vector<Target> targets;
      std::vector<const Pieces::Piece*> pieces;
    };
    // Where LibreOffice can, a piece wanted in both is loaded once for both.
    const bool together = pieces_->target && session_->ConvertsInOneLoad();
    std::vector<Group> groups;
    if (pieces_->target) groups.push_back({{*pieces_->target}, {}});
    const std::size_t pdfs = groups.size();
    groups.push_back({{kPdf}, {}});
    if (together) groups.push_back({{*pieces_->target, kPdf}, {}});
    for (const auto& piece : pieces) {
      if (together && piece.convert && piece.pdf) {
        groups.back().pieces.push_back(&piece);
        continue;
      }
      if (piece.convert) groups.front().pieces.push_back(&piece);
      if (piece.pdf) groups[pdfs].pieces.push_back(&piece);
    }
    std::erase_if(groups, [](const Group& g) { return g.pieces.empty(); });
    if (groups.empty()) return;
    const int processes = std::max<int>(static_cast<int>(groups.size()), session_->Processes());
    const int share = processes / static_cast<int>(groups.size());

    // What LibreOffice writes is about as large as the pieces it reads, or
    // a few times larger; a PDF holds the fonts it uses.
    std::uint64_t expected = 0;
    for (const auto& piece : pieces) {
      expected += 4 * Bytes(piece.work) * ((piece.convert ? 1 : 0) + (piece.pdf ? 1 : 0));
      if (piece.pdf) expected += 256u << 10;
    }
    const fs::path outputs = session_->OutputFolder(expected, pieces_->job);
    // A folder in memory goes however the conversion ends.
    struct Cleanup {
      fs::path folder;
      ~Cleanup() {
        std::error_code ec;
        if (!folder.empty()) fs::remove_all(folder, ec);
      }
    } cleanup{outputs != pieces_->job ? outputs : fs::path()};

    std::vector<Session::Batch> batches;
    std::vector<std::vector<const Pieces::Piece*>> members;
    double megabytes = 0;
    std::size_t largest = 0;  // conversions in the longest batch
    // The first batches go to LibreOffices kept running, which start nothing:
    // they take the share of the pieces the others spend starting.
    const std::size_t served = session_->IdleServers();
    for (const auto& group : groups) {
      const std::size_t n = group.pieces.size();
      const std::size_t chunks =
          std::clamp<std::size_t>((n + kPiecesPerStart - 1) / kPiecesPerStart, 1, share);
      const std::size_t quick = group.targets.size() > 1
                                    ? 0
                                    : std::min(chunks, served - std::min(served, batches.size()));
      const std::vector<std::size_t> bounds = Shares(n, chunks, quick, kPiecesPerStart / 2);
      std::string folder;
      for (const Target& target : group.targets) folder += target.extension + "-";
      for (std::size_t c = 0; c < chunks; ++c) {
        Session::Batch batch{{}, group.targets, outputs / (folder + std::to_string(c)), {}};
        std::vector<const Pieces::Piece*> mine;
        for (std::size_t i = bounds[c]; i < bounds[c + 1]; ++i) {
          batch.files.push_back(group.pieces[i]->work);
          mine.push_back(group.pieces[i]);
          megabytes += Megabytes(group.pieces[i]->work);
        }
        // Our own pieces: Word documents, unless they keep a macro or template type.
        if (std::all_of(batch.files.begin(), batch.files.end(),
                        [](const fs::path& file) { return file.extension() == ".docx"; }))
          batch.infilter = "MS Word 2007 XML";
        fs::create_directories(batch.out);
        largest = std::max(largest, mine.size() * group.targets.size());
        batches.push_back(std::move(batch));
        members.push_back(std::move(mine));
      }
    }
    session_->host().SetProgressText(
        (pieces_->target ? "Converting pieces: " : "Converting pieces to PDF: ") + Label());
    const auto& options = session_->options();
    const double seconds = options.baseSeconds +
                           options.secondsPerPiece * static_cast<double>(largest) +
                           options.secondsPerMegabyte * megabytes;
    const std::string what = "the pieces of " + Label();
    const std::string advice = "install LibreOffice to save pieces as ." +
                               batches.front().targets.front().extension + " files";
    auto why = session_->RunBatches(batches, seconds, what, advice);
    // A batch for both formats that LibreOffice could not be prepared for
    // is converted into each format in turn.
    // So is what one that crashed left unmade: LibreOffice loads some
    // documents from a macro (as it does for both formats at once) only to
    // abort, where its own command line converts them.
    for (std::size_t b = 0; b < batches.size(); ++b) {
      const bool crashed = batches[b].targets.size() > 1 && !ending.load() &&
                           why[b].rfind(Session::kCrashed, 0) == 0;
      if (why[b] != Session::kNotPrepared && !crashed) continue;
      std::vector<Session::Batch> apart;
      for (const Target& target : batches[b].targets) {
        Session::Batch one{{}, {target}, batches[b].out, batches[b].infilter};
        for (const fs::path& file : batches[b].files)
          if (!Session::IsWhole(batches[b].Output(file, target), target.signature))
            one.files.push_back(file);
        if (!one.files.empty()) apart.push_back(std::move(one));
      }
      why[b].clear();
      for (const std::string& reason : session_->RunBatches(apart, seconds, what, advice))
        if (why[b].empty()) why[b] = reason;
    }

    std::vector<std::string> failed;
    for (std::size_t b = 0; b < batches.size(); ++b) {
      if (!why[b].empty() && std::find(failed.begin(), failed.end(), why[b]) == failed.end())
        failed.push_back(why[b]);
      for (const auto* piece : members[b]) {
        for (const Target& target : batches[b].targets) {
          const std::string finalPath = target.filter == kPdf.filter
                                            ? support::WithExtension(piece->finalPath, "pdf")
                                            : piece->finalPath;
          const fs::path made = batches[b].Output(piece->work, target);
          if (!why[b].empty() || !Session::IsWhole(made, target.signature)) {
            failed.push_back(support::GetFileName(finalPath) + " was not made");
            continue;
          }
          try {
            Place(made, finalPath);
            session_->placed().insert(finalPath);
          } catch (const word::AutomationError& e) {
            failed.push_back(e.what());
          }
        }
      }
    }
    std::error_code ec;
    fs::remove_all(pieces_->job, ec);
    pieces_->job.clear();
    if (failed.empty()) return;
    std::string text;
    const std::size_t shown = std::min<std::size_t>(failed.size(), 5);
    for (std::size_t i = 0; i < shown; ++i) {
      std::string reason = failed[i];
      if (!reason.empty() && reason.back() == '.') reason.pop_back();
      text += (i ? "; " : "") + reason;
    }
    if (failed.size() > shown) text += "; and " + std::to_string(failed.size() - shown) + " more";
    throw word::AutomationError("Not every piece of " + Label() + " could be saved: " + text + ".");
  }

  std::string Label() const {
    return pieces_->inputName.empty() ? std::string("this document") : pieces_->inputName;
  }

  word::ApplicationPtr inner_;
  std::shared_ptr<Session> session_;
  std::shared_ptr<Pieces> pieces_;
  std::shared_ptr<Opened> opened_;
};

}  // namespace

OfficeFactory::OfficeFactory(word::Factory& inner, support::Host& host, OfficeOptions options)
    : inner_(inner), session_(std::make_shared<Session>(host, options)) {}

OfficeFactory::~OfficeFactory() {
  session_->Remove();
}

word::ApplicationPtr OfficeFactory::CreateApplication() {
  return std::make_shared<OfficeApplication>(inner_.CreateApplication(), session_);
}

word::ApplicationPtr OfficeFactory::GetRunningApplication() {
  return inner_.GetRunningApplication();
}

void OfficeFactory::SetWatchedDocuments(std::function<std::vector<std::string>()> source) {
  inner_.SetWatchedDocuments(std::move(source));
}

std::string OfficeFactory::PrivateFolder() const {
  return session_->folder();
}
int OfficeFactory::Starts() const {
  return session_->starts();
}
int OfficeFactory::Calls() const {
  return session_->calls();
}
int OfficeFactory::Loads() const {
  return session_->loads();
}
bool OfficeFactory::Placed(const std::string& path) const {
  return session_->placed().count(path) > 0;
}

void EndOfficeNow() {
  ending.store(true);
  office::KillRunningPrograms();
  office::RemoveNotedSockets();
  std::lock_guard<std::mutex> lock(foldersMutex);
  // A LibreOffice killed in the middle of a write may still finish that
  // write: what it wrote then goes at a second look.
  for (int look = 0; look < 5; ++look) {
    bool left = false;
    for (const auto& folder : LiveFolders()) {
      std::error_code ec;
      fs::remove_all(support::ToFsPath(folder), ec);
      if (fs::exists(support::ToFsPath(folder), ec)) left = true;
    }
    if (!left) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // What could not be removed is left to the keeper, which tries again.
  for (const auto& folder : LiveFolders())
    if (std::error_code ec; !fs::exists(support::ToFsPath(folder), ec) && !ec)
      office::NoLongerToTidy(folder);
  LiveFolders().clear();
}

void StopOfficeFromSignal() {
  ending.store(true);
  office::KillRunningPrograms();
}

bool OfficeStopping() {
  return ending.load();
}

}  // namespace engine
