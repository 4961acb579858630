// Icons of the station: the desktop's icon theme first, our own small SVG pictures
// (app/icons/) where the theme has none, so no button is ever empty.
#pragma once

#include <QIcon>

namespace vigil {

// `resource` names a file of app/icons without ".svg".
QIcon StationIcon(const QString& themeName, const QString& resource);

}  // namespace vigil
