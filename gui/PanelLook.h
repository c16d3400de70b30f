#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QRect>
#include <QString>

class QPainter;

namespace tarnwick {

// The front panel's shared drawing resources: the lamp and switch images,
// the panel colour, the fonts and the program icon. The images are loaded
// once, on first use, from the resources embedded in the program.

inline const QColor panelGrey{192, 192, 192};
// The frame round the switch that has the keyboard focus.
inline const QColor focusMarkColour{0, 70, 200};

// On a device with more than one pixel per unit (a screen scaled by 2) these
// are the images drawn at twice the size; they carry that ratio, so a
// painter draws them at the same 24 x 24 or 24 x 40 units, sharp.
const QImage& litLampImage(qreal devicePixelRatio = 1);
const QImage& unlitLampImage(qreal devicePixelRatio = 1);
const QImage& leverUpImage(qreal devicePixelRatio = 1);
const QImage& leverDownImage(qreal devicePixelRatio = 1);

QIcon programIcon();

// Fonts are asked for by the family the panel was designed with; where it is
// missing a metric-compatible face is preferred over the generic fallback,
// so that the labels keep their widths.
QFont mainLabelFont();          // sans serif, 11 px, medium weight
QFont controlPanelTitleFont();  // serif, 13 px, bold
QFont controlPanelLabelFont();  // serif, 11 px

// Draws text centred in its box with the painter's font. A substitute face
// that runs wider than the box is narrowed to fit rather than clipped or
// left to spill into the lamps beside it.
void drawPanelLabel(QPainter& painter, const QRect& box, const QString& text);

}  // namespace tarnwick
