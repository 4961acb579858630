// The station's message boxes: captioned "系统提示", Chinese buttons.
#pragma once

#include <QString>

class QWidget;

namespace vigil {

inline constexpr const char* kMessageCaption = "系统提示";

// An information box with one "确定" button.
void ShowSystemMessage(QWidget* owner, const QString& text);

// An information box with "确定" and "取消"; true for "确定".
bool ConfirmMessage(QWidget* owner, const QString& caption, const QString& text);

}  // namespace vigil
