// Reading and writing what the core sees of a control: its text or caption
// and its back colour, whatever widget shows it.
#pragma once

#include <QColor>
#include <QString>

#include "link/board.h"

class QObject;

namespace vq {

// The colour a Colour stands for: button face and window background are the
// application palette's button and base colours.
QColor toQColor(const Colour& colour);

// Back colour of a control nothing has been set on: window background for
// text and combo boxes, button face for the others.
Colour defaultBackColour(const QObject* object);

// Shows the back colour: a style sheet for buttons (so that the colour shows
// with every widget style), the base colour for text and combo boxes, the
// window colour for labels, frames and check boxes, the fill of the lamp.
void showBackColour(QObject* object, const Colour& colour);

// Style sheet of a flat button showing that back colour.
QString buttonStyleSheet(const QColor& back);

// Caption or text of a widget, menu entry or the window; empty for objects
// without one.
QString textOf(const QObject* object);
void setTextOf(QObject* object, const QString& text);

} // namespace vq
