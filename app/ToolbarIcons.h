#pragma once
// The toolbar's pictures: SVG drawings bundled with the program, drawn on a 17 x 16 grid and
// rendered afresh for every size and pixel density, so they stay sharp on high-density screens.
#include <QIcon>
#include <QString>

namespace quorvane {

// The resource path of a command's drawing (":/toolbar/print.svg"), or empty.
QString toolbarIconPath(int commandId);
// The command's icon; a null icon when it has no drawing.
QIcon toolbarIcon(int commandId);

}  // namespace quorvane
