#pragma once

#include <QString>

namespace tessaron::platform {

// The folder the program's open and save dialogs start in: the user's documents folder, made when it is missing;
// the home folder when there is none or it cannot be made (a file in its place, a read-only home). Never a
// folder that does not exist, so a dialog never opens on nothing.
QString dialogStartFolder();

} // namespace tessaron::platform
