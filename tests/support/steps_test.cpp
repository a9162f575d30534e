#include "support/steps.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "scripted_dialogs.h"
#include "support/config.h"
#include "support/dialogs.h"
#include "support/error_report.h"
#include "support/startup.h"
#include "testing.h"

using namespace support;
using testing_support::ScriptedDialogs;

namespace {

struct Recorded {
  std::vector<std::string> descriptions;
  std::vector<int> lines;
  std::vector<std::string> locations;
  Reporter reporter() {
    return [this](const std::string& d, const std::string& l, int n) {
      descriptions.push_back(d);
      locations.push_back(l);
      lines.push_back(n);
    };
  }
};

void Fail() {
  throw std::runtime_error("boom");
}

TEST(Steps, a_failure_in_the_second_step_reports_102_and_the_next_step_runs) {
  Recorded r;
  Steps run{"Here.Op", r.reporter()};
  bool third = false;
  run(100, [] {});
  run(102, Fail);
  run(104, [&] { third = true; });
  EXPECT_EQ(r.lines, std::vector<int>{102});
  EXPECT_EQ(r.descriptions, std::vector<std::string>{"boom"});
  EXPECT_EQ(r.locations, std::vector<std::string>{"Here.Op"});
  EXPECT_TRUE(third);
}

TEST(Steps, an_unnumbered_step_reports_the_nearest_number_before_it) {
  Recorded r;
  Steps run{"Op", r.reporter()};
  run(100, [] {});
  run(126, [] {});
  run.unnumbered(Fail);
  EXPECT_EQ(r.lines, std::vector<int>{126});
}

TEST(Steps, an_out_of_sequence_number_is_reported_as_it_stands) {
  Recorded r;
  Steps run{"Op", r.reporter()};
  run(106, [] {});
  run(333, Fail);
  run(108, [] {});
  EXPECT_EQ(r.lines, std::vector<int>{333});
}

TEST(Steps, failing_passes_of_a_loop_each_report_and_the_loop_goes_on) {
  Recorded r;
  Steps run{"Op", r.reporter()};
  int passes = 0;
  for (int i = 0; i < 3; ++i) {
    run(110, [&] {
      ++passes;
      if (i < 2) Fail();
    });
  }
  EXPECT_EQ(passes, 3);
  EXPECT_EQ(r.lines, (std::vector<int>{110, 110}));
}

TEST(Steps, a_failed_test_runs_its_branch) {
  Recorded r;
  Steps run{"Op", r.reporter()};
  EXPECT_TRUE(run.test(116, [&]() -> bool { throw std::runtime_error("no text"); }));
  EXPECT_FALSE(run.test(118, [] { return false; }));
  EXPECT_EQ(r.lines, std::vector<int>{116});
}

TEST(Steps, a_re_test_that_keeps_failing_ends_at_the_bound) {
  Recorded r;
  Steps run{"Op", [&](const std::string&, const std::string&, int) {}};
  int passes = 0;
  for (int pass = 0; pass < kMaxLoopPasses; ++pass) {
    if (!run.test(150, []() -> bool { throw std::runtime_error("x"); })) break;
    ++passes;
  }
  EXPECT_EQ(passes, kMaxLoopPasses);
  EXPECT_EQ(run.failures(), kMaxLoopPasses);
}

TEST(Steps, anything_thrown_is_described) {
  Recorded r;
  Steps run{"Op", r.reporter()};
  run(100, [] { throw 42; });
  run(102, [] { throw std::runtime_error(""); });
  EXPECT_EQ(r.descriptions, (std::vector<std::string>{"Unknown failure.", "Unknown failure."}));
}

TEST(ErrorReport, the_text_is_exact_to_the_byte) {
  const std::string expected = std::string("File not found\r\n") +
                               "in Vellomir2021/08/31.Form1.PushButton10_Click at line 100\r\r" +
                               "Please email screenshot of this message to " +
                               config::kSupportEmail;
  EXPECT_EQ(ErrorReportText("File not found", "Vellomir2021/08/31.Form1.PushButton10_Click", 100),
            expected);
}

TEST(ErrorReport, the_box_has_its_title_one_button_and_the_warning_icon) {
  ScriptedDialogs dialogs;
  ShowErrorReport(dialogs, "bad", "Op", 104);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].title, "Application Error");
  EXPECT_EQ(dialogs.shown[0].buttons, Buttons::Ok);
  EXPECT_EQ(dialogs.shown[0].icon, Icon::Warning);
  EXPECT_EQ(static_cast<int>(Icon::Warning), 48);
  EXPECT_EQ(dialogs.shown[0].text, ErrorReportText("bad", "Op", 104));
}

TEST(AppTitle, long_titles_lose_whole_words_to_forty_characters) {
  SetAppTitle("Parvane");
  EXPECT_EQ(AppTitle(), "Parvane");
  // 45 characters whose last word has four letters: it goes with its blank.
  const std::string title = "Parvane splits merged letters into documents ever";
  SetAppTitle(title.substr(0, 40) + " ever");
  EXPECT_EQ(AppTitle(), title.substr(0, 40));
  EXPECT_THROW(SetAppTitle(std::string(41, 'x')), std::invalid_argument);
  EXPECT_EQ(AppTitle(), title.substr(0, 40));  // keeps its previous value
  SetAppTitle();
  EXPECT_EQ(AppTitle(), "Parvane");
}

TEST(AppTitle, untitled_messages_show_the_application_title) {
  SetAppTitle();
  ScriptedDialogs dialogs;
  dialogs.Message("Done.", Buttons::Ok, Icon::None);
  EXPECT_EQ(dialogs.shown.at(0).title, "Parvane");
}

TEST(MakerPage, opens_only_on_a_seven) {
  ScriptedDialogs dialogs;
  for (int draw : {1, 6, 8, 100}) OpenMakerPageAtRandom(dialogs, [draw] { return draw; });
  EXPECT_TRUE(dialogs.Of("shell").empty());
  OpenMakerPageAtRandom(dialogs, [] { return 7; });
  const std::string address = config::kMakerPage;
  EXPECT_EQ(dialogs.Of("shell").size(), address.empty() ? 0u : 1u);
  if (!address.empty()) {
    EXPECT_EQ(dialogs.Of("shell")[0].text, address);
  }
}

TEST(MakerPage, the_clock_draw_stays_within_one_to_a_hundred) {
  const auto draw = ClockSeededDraw();
  for (int i = 0; i < 50; ++i) {
    const int n = draw();
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 100);
  }
}

}  // namespace
