#pragma once
// The program's icon, drawn in code: a butterfly ("parvane") over a page.

#include <QIcon>

namespace app {

QIcon MakeAppIcon();

}  // namespace app
