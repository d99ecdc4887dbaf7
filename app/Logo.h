#pragma once

#include <QPixmap>

namespace dbsync {

// The window's logo, 184 x 84: two database drums joined by a sync arrow, drawn at start-up.
QPixmap logoPixmap();

}  // namespace dbsync
