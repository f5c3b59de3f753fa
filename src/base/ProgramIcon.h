#pragma once

#include <QIcon>

// The program's icon: the icon theme's "pictavo" where the program is installed (so that a tray
// host or a screen that scales draws it from the scalable drawing), otherwise renderings of the
// same drawing built into the program, 16 to 256 pixels, from which each size and device pixel
// ratio takes the nearest larger one.
QIcon ProgramIcon();
