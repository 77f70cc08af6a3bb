#pragma once

#include <QIcon>

namespace cep {

/// The program's icon (ui/icons), 16 to 256 pixels: the windows' icon and the
/// About box's picture.
QIcon ProgramIcon();

}  // namespace cep
