#include "app/conversions.h"

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace app {

namespace {

// The finite number the text reads as in the locale; false when it reads as
// none.
bool ReadNumber(const std::string& text, const QLocale& locale, double* value) {
  const QString trimmed = QString::fromStdString(text).trimmed();
  if (trimmed.isEmpty()) return false;
  bool ok = false;
  double v = locale.toDouble(trimmed, &ok);
  if (!ok || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

double RoundHalfEven(double v) {
  // nearbyint rounds in the current mode; the default mode is to nearest,
  // ties to even, which is the rounding wanted here.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double r = std::nearbyint(v);
  std::fesetround(saved);
  return r;
}

int ToRoundedInt(double v, double low, double high) {
  const double r = RoundHalfEven(v);
  if (r < low || r > high) throw std::runtime_error("Overflow");
  return static_cast<int>(r);
}

}  // namespace

bool IsNumeric(const std::string& text, const QLocale& locale) {
  double v = 0;
  return ReadNumber(text, locale, &v);
}

int ToInt32(const std::string& text, const QLocale& locale) {
  double v = 0;
  if (!ReadNumber(text, locale, &v)) throw std::runtime_error("Type mismatch");
  return ToRoundedInt(v, INT32_MIN, INT32_MAX);
}

bool ToBoolean(const std::string& text) {
  const QString t = QString::fromStdString(text).trimmed();
  if (t.compare("True", Qt::CaseInsensitive) == 0) return true;
  if (t.compare("False", Qt::CaseInsensitive) == 0) return false;
  double v = 0;
  if (!ReadNumber(text, QLocale::c(), &v)) throw std::runtime_error("Type mismatch");
  return v != 0;
}

int ToInt16(const std::string& text) {
  double v = 0;
  if (!ReadNumber(text, QLocale::c(), &v)) throw std::runtime_error("Type mismatch");
  return ToRoundedInt(v, INT16_MIN, INT16_MAX);
}

}  // namespace app
