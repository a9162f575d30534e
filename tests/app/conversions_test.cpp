// Numeric answers in the user's locale and the values read back from the store.
#include <gtest/gtest.h>

#include <QLocale>
#include <stdexcept>

#include "app/conversions.h"

namespace {

struct NumericCase {
  const char* text;
  bool numeric;
};

TEST(Numeric, accepts_blanks_sign_decimals_grouping_and_exponent_in_the_c_locale) {
  const QLocale c = QLocale::c();
  const NumericCase cases[] = {
      {"1", true},    {"  7  ", true},  {"-1", true},   {"+3", true},
      {"2.5", true},  {"1,000", true},  {"1e3", true},  {"-2.5E-1", true},
      {"", false},    {"   ", false},   {"abc", false}, {"1a", false},
      {"2,5", false}, {"1e999", false}, {"nan", false}, {"inf", false},
  };
  for (const auto& c1 : cases) EXPECT_EQ(app::IsNumeric(c1.text, c), c1.numeric) << c1.text;
}

TEST(Numeric, follows_the_locales_decimal_separator) {
  const QLocale german(QLocale::German, QLocale::Germany);
  EXPECT_TRUE(app::IsNumeric("2,5", german));
  EXPECT_TRUE(app::IsNumeric("1.000", german));
  EXPECT_EQ(app::ToInt32("2,5", german), 2);
  EXPECT_EQ(app::ToInt32("3,5", german), 4);
  EXPECT_EQ(app::ToInt32("1.000", german), 1000);
}

TEST(ToInt32, rounds_halves_to_the_even_neighbour) {
  const QLocale c = QLocale::c();
  EXPECT_EQ(app::ToInt32("2.5", c), 2);
  EXPECT_EQ(app::ToInt32("3.5", c), 4);
  EXPECT_EQ(app::ToInt32("-2.5", c), -2);
  EXPECT_EQ(app::ToInt32("2.6", c), 3);
  EXPECT_EQ(app::ToInt32("0", c), 0);
  EXPECT_EQ(app::ToInt32("-1", c), -1);
  EXPECT_EQ(app::ToInt32(" 12 ", c), 12);
}

TEST(ToInt32, refuses_numbers_outside_32_bits_and_texts_that_are_no_number) {
  const QLocale c = QLocale::c();
  EXPECT_EQ(app::ToInt32("2147483647", c), 2147483647);
  EXPECT_EQ(app::ToInt32("-2147483648", c), -2147483647 - 1);
  try {
    app::ToInt32("2147483648", c);
    FAIL() << "no overflow";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Overflow");
  }
  EXPECT_THROW(app::ToInt32("-3e9", c), std::runtime_error);
  try {
    app::ToInt32("", c);
    FAIL() << "empty text converted";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Type mismatch");
  }
}

TEST(StoredValues, booleans_read_as_words_or_numbers) {
  EXPECT_TRUE(app::ToBoolean("True"));
  EXPECT_TRUE(app::ToBoolean("true"));
  EXPECT_FALSE(app::ToBoolean("False"));
  EXPECT_TRUE(app::ToBoolean("1"));
  EXPECT_TRUE(app::ToBoolean("-1"));
  EXPECT_FALSE(app::ToBoolean("0"));
  EXPECT_FALSE(app::ToBoolean("0.0"));
  EXPECT_THROW(app::ToBoolean("maybe"), std::runtime_error);
  EXPECT_THROW(app::ToBoolean(""), std::runtime_error);
}

TEST(StoredValues, sixteen_bit_integers) {
  EXPECT_EQ(app::ToInt16("5"), 5);
  EXPECT_EQ(app::ToInt16("-32768"), -32768);
  EXPECT_THROW(app::ToInt16("32768"), std::runtime_error);
  EXPECT_THROW(app::ToInt16("x"), std::runtime_error);
}

}  // namespace
