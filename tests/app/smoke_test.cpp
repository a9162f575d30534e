// Starts the real program under Xvfb, photographs its window and ends it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Quote;
using testing_support::RunCommand;
using testing_support::TempDir;

bool Have(const char* tool) {
  return RunCommand(std::string("command -v ") + tool + " >/dev/null 2>&1").exitCode == 0;
}

TEST(Smoke, the_program_opens_its_window_under_xvfb) {
  for (const char* tool : {"Xvfb", "xdotool", "import"}) {
    if (!Have(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  TempDir config;
  const std::string program = testing_support::BinDir() + "/parvane";
  ASSERT_TRUE(fs::exists(program)) << program;
  const std::string shot = std::string(PARVANE_APP_BUILD_DIR) + "/parvane-window.png";
  fs::remove(shot);

  const std::string script =
      testing_support::StartXvfbScript(config.str()) +
      "export DISPLAY=:$N QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=" + Quote(config.str()) +
      "\n"
      "export XDG_RUNTIME_DIR=" +
      Quote(config.str()) + "\n" + Quote(program) + " >" + Quote(config.file("log")) +
      " 2>&1 & APID=$!\n"
      "WID=''\n"
      "for i in $(seq 150); do\n"
      "  for w in $(xdotool search --name '^Parvane$' 2>/dev/null); do\n"
      "    case \"$(xdotool getwindowgeometry $w)\" in *536x583*) WID=$w;; esac\n"
      "  done\n"
      "  [ -n \"$WID\" ] && break\n"
      "  kill -0 $APID 2>/dev/null || break\n"
      "  sleep 0.2\n"
      "done\n"
      "sleep 1\n"
      "echo \"window=$WID\"\n"
      "[ -n \"$WID\" ] && xdotool getwindowgeometry $WID\n"
      "import -window root " +
      Quote(shot) +
      "\n"
      "if kill -0 $APID 2>/dev/null; then echo running; kill $APID; fi\n"
      "wait $APID 2>/dev/null\n"
      "kill $XPID; wait $XPID 2>/dev/null\n"
      "cat " +
      Quote(config.file("log")) + "\n";
  const auto result = RunCommand("bash -c " + Quote(script));
  EXPECT_TRUE(std::regex_search(result.output, std::regex("window=[0-9]+"))) << result.output;
  EXPECT_NE(result.output.find("Geometry: 536x583"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("running"), std::string::npos) << result.output;
  EXPECT_TRUE(fs::exists(shot));
  // A first start writes its settings into the private store.
  EXPECT_TRUE(fs::exists(config.path() / "Quillory" / "Parvane.conf"));
}

}  // namespace
