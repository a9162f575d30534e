#include "support/startup.h"

#include <chrono>
#include <ctime>
#include <random>
#include <stdexcept>
#include <string>

#include "support/config.h"
#include "support/dialogs.h"
#include "support/text.h"

namespace support {

namespace {
std::string& AppTitleStore() {
  static std::string title = "Parvane";
  return title;
}
}  // namespace

const std::string& AppTitle() {
  return AppTitleStore();
}

void SetAppTitle(const std::string& productTitle) {
  std::string title = productTitle;
  while (title.size() > 40) {
    const auto blank = title.rfind(' ');
    if (blank == std::string::npos) {
      throw std::invalid_argument("The application title is longer than 40 characters: " +
                                  productTitle);
    }
    title.erase(blank);
  }
  AppTitleStore() = title;
}

DrawPercent ClockSeededDraw() {
  return [] {
    const std::tm local = LocalTime(std::time(nullptr));
    const unsigned seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    std::mt19937 generator(seconds);
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    return static_cast<int>(fraction(generator) * 100.0) + 1;
  };
}

void OpenMakerPageAtRandom(Dialogs& dialogs, const DrawPercent& draw) {
  const std::string address = config::kMakerPage;
  if (draw() != 7 || address.empty()) return;
  dialogs.OpenWithShell(address);
}

}  // namespace support
