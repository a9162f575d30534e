// The page starts of one document as a reader sees them: opened through the
// LibreOffice bridge and counted, which lays out a document without Word's
// rendered page marks once. Prints the seconds, the pages, LibreOffice's
// starts and the first words of pages 2 and last.
//
//   pages_bench FILE

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "engine/libreoffice.h"
#include "support/host.h"

namespace {

class QuietHost : public support::Host {
 public:
  support::SplitSettings Settings() override { return {}; }
  void SetProgressValue(double) override {}
  void SetProgressText(const std::string&) override {}
  void SetPointer(int) override {}
  int GetPointer() override { return 0; }
  void Yield() override {}
  void ReportError(const std::string& description, const std::string&, int) override {
    std::cerr << "pages_bench: " << description << "\n";
  }
  void Notify(const std::string& text) override { std::cerr << "pages_bench: " << text << "\n"; }
};

std::string Opening(word::Document& document, int page) {
  auto selection = document.ActiveWindowSelection();
  selection->GoTo(word::wdGoToPage, word::wdGoToNext, std::to_string(page));
  selection->EndKey(word::wdStory, word::wdExtend);
  std::string text = selection->GetRange()->Text().substr(0, 40);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: pages_bench FILE\n";
    return 2;
  }
  QuietHost host;
  engine::OfficeFactory office(word::DefaultFactory(), host);
  const auto started = std::chrono::steady_clock::now();
  auto app = office.CreateApplication();
  auto document = app->DocumentsOpen(argv[1]);
  const int pages = document->PagesCount(1);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%.3f s, %d pages, %d LibreOffice start(s)\n", seconds, pages, office.Starts());
  std::printf("page 2: %s\nlast page: %s\n", Opening(*document, 2).c_str(),
              Opening(*document, pages).c_str());
  app->Quit();
  return office.Starts() == 1 ? 0 : 1;
}
