// Menu 关于 -> "关于 Velquor": the console's version, the commit it was built
// from, its licence and the Qt it runs on with Qt's licence.
#pragma once

#include <string_view>

#include <QString>

class QMessageBox;
class QWidget;

namespace vq {

inline constexpr std::string_view kAboutItem = "aboutVelquor";

QString aboutText();

// Shows the box without blocking the window (the poll keeps running, the
// window stays usable); a second call raises the box already open.
QMessageBox* showAbout(QWidget* parent);

} // namespace vq
