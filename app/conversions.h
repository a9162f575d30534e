#pragma once
// Text-to-value conversions of the window: numeric answers typed by the user
// and the values read back from the settings store. Conversions that fail
// throw std::runtime_error with the text the error report shows.

#include <QLocale>
#include <string>

namespace app {

// True when the text reads as a finite number in the locale: blanks around it,
// a sign, the decimal separator, digit grouping and an exponent are accepted.
// The empty text (or blanks only) is not numeric.
bool IsNumeric(const std::string& text, const QLocale& locale = QLocale());

// The text as a 32-bit integer: the locale's number rounded to the nearest
// whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4). Throws
// "Type mismatch" for a text that is not numeric and "Overflow" for a number
// outside the 32-bit range.
int ToInt32(const std::string& text, const QLocale& locale = QLocale());

// A stored Boolean: "True" or "False" (any letter case), or a number, where 0
// is false and any other number true. Throws "Type mismatch" otherwise.
bool ToBoolean(const std::string& text);

// A stored 16-bit integer (decimal, rounded as ToInt32). Throws "Type
// mismatch" or "Overflow".
int ToInt16(const std::string& text);

}  // namespace app
