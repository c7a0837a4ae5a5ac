#pragma once
// Window layouts are given in dialog units, which follow the dialog's font: a horizontal
// unit is a quarter of the font's average character width, a vertical unit an eighth of
// its character height. Converting through the real font keeps every layout in proportion
// whatever font the desktop ends up giving us.
#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

namespace fd {

// One named face on every machine (the fonts-dejavu-core package), so every window is
// measured and drawn alike wherever it runs.
inline constexpr const char* kDialogFontFamily = "DejaVu Sans";

// The dialog font at `pointSize`.
QFont DialogFont(int pointSize);

// Makes the dialog face the application's, for the message boxes and file dialogs too.
void UseDialogFontFamily();

// Our face is wider than the one the layouts were made for: where a control's fixed text
// comes out wider than the control, the control grows to the right so that all of it shows,
// and its window with it (keeping its margin). `available` is the width in pixels the text
// has; returns the pixels the control grew by.
int WidenToFit(QWidget& widget, const QString& text, int available);

class DialogUnits {
public:
  explicit DialogUnits(const QFont& font);

  int x(double du) const;
  int y(double du) const;
  QRect rect(double x, double y, double w, double h) const;

  int baseX() const { return baseX_; }  // average character width, pixels
  int baseY() const { return baseY_; }  // character height, pixels

private:
  int baseX_;
  int baseY_;
};

}  // namespace fd
