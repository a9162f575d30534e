#pragma once
// Small start-up actions.

#include <functional>

namespace support {

class Dialogs;

// Draws a whole number from 1 to 100; the default seeds from the clock.
using DrawPercent = std::function<int()>;
DrawPercent ClockSeededDraw();

// On a draw of 7 asks the shell to open the maker's web page (a build-time
// address; an empty address means never).
void OpenMakerPageAtRandom(Dialogs& dialogs, const DrawPercent& draw = ClockSeededDraw());

}  // namespace support
