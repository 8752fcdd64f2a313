#pragma once

#include <QIcon>

namespace orvane::studio {

// The studio's icon, drawn rather than shipped as a file so the program needs no resource path:
// a lens on a dark rounded square; its centre turns red while a recording runs (the tray shows it).
QIcon appIcon(bool recording = false);

}  // namespace orvane::studio
