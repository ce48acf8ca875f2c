#pragma once
// Icons of the program and of its commands. Commands take their icon from
// the desktop's icon theme; tool-bar commands the theme lacks get a simple
// drawn icon, so that no tool-bar button is ever blank.
#include <QIcon>
#include <QString>

namespace tavix {

// The program's icon: the SVG where it can be drawn, else the PNG sizes.
QIcon applicationIcon();

// The icon of a command: the theme's icon of that name when it can be drawn,
// else the drawn icon of the command, else a null icon (menu-only commands).
QIcon commandIcon(int commandId, const QString& themeName);

// The drawn icon of a command; null when the command has none.
QIcon drawnCommandIcon(int commandId);

}  // namespace tavix
