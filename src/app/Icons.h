#pragma once
// Icons of the program and of its commands. Commands take their icon from
// the desktop's icon theme when it suits the palette; otherwise tool-bar
// commands get a simple drawn icon in the palette's text colour, so that no
// tool-bar button is ever blank or dark on a dark window.
#include <QIcon>
#include <QString>

namespace tavix {

// The program's icon, with a picture for every size of the hicolor theme.
QIcon applicationIcon();

// The icon of a command, chosen each time it is painted for the palette of
// the moment: the theme's icon of that name (or its "-symbolic" variant)
// drawn in the palette's text colour when it is a one-colour icon, the
// theme's full-colour icon when it stands out from the window, else the
// drawn icon of the command. Null for a command with neither (menu-only).
QIcon commandIcon(int commandId, const QString& themeName);

// The drawn icon of a command; null when the command has none.
QIcon drawnCommandIcon(int commandId);

}  // namespace tavix
