#include "Icons.h"

namespace vigil {

QIcon StationIcon(const QString& themeName, const QString& resource) {
  return QIcon::fromTheme(themeName, QIcon(QStringLiteral(":/icons/") + resource + QStringLiteral(".svg")));
}

}  // namespace vigil
