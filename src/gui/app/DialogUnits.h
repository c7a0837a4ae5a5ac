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

// The dialog font: "Microsoft Sans Serif" where it is installed, else the closest sans
// serif face the system has, at `pointSize`.
QFont DialogFont(int pointSize);

// Our fonts only resemble the one the layouts were made for; where a control's fixed text
// comes out wider than the control, the letters are set a little closer so that all of it
// shows. `available` is the width in pixels the text has.
void CondenseToFit(QWidget& widget, const QString& text, int available);

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
