#pragma once

#include <QPoint>
#include <QSize>

// Where a window's outer top-left corner goes to stand centred on a desktop of the
// given size: each offset is half the difference, rounded toward zero, and never
// negative, so a window larger than the desktop keeps its title bar reachable. The
// offsets count from the coordinate origin.
QPoint DesktopCentre(QSize desktop, QSize window);
