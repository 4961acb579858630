// The shell's folder picker and file property sheet, as Qt dialogs.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace vigil {

// The chosen folder, trimmed and ending with "/"; nothing when cancelled.
std::optional<QString> BrowseForFolder(QWidget* owner, const QString& title);

// A small modal sheet with the file's name, folder, type, size and times.
void ShowFileProperties(QWidget* owner, const QString& file);

}  // namespace vigil
