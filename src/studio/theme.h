#pragma once

#include <QString>

class QApplication;

namespace orvane::studio {

enum class Appearance { dark, light };

// The system's light/dark preference from the desktop portal (org.freedesktop.appearance
// color-scheme); dark when it states none or no portal answers, as media tools sit next to media.
Appearance systemAppearance();

// The studio's look: a neutral palette, one accent colour, and the small stylesheet over it.
QString styleSheet(Appearance appearance);
void applyTheme(QApplication& application, Appearance appearance);

}  // namespace orvane::studio
