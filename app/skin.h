#pragma once
// The optional skin: a Qt style sheet in "x/o.cjs" beside the program.

#include <string>

class QWidget;

namespace app {

// The skin file's path: the program's folder, then "x", then "o.cjs".
std::string SkinFilePath();

// Without the skin file nothing changes. With it the window, its option
// buttons, check boxes, frames and labels take the palette's button colour
// and the file is applied to the window as its style sheet, which finds the
// pictures beside it under "skin:" ("skin:down-arrow.png"). Throws, with a
// readable description, when the file cannot be read or is not a style sheet;
// colours already changed then stay changed.
void ApplySkin(QWidget& window);

}  // namespace app
