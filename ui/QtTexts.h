#pragma once

class QCoreApplication;

namespace cep {

/// Puts Qt's own texts (the buttons of the message boxes, their "details"
/// button, the open-file dialog) into Brazilian Portuguese, as the window's
/// own: Qt's translation of its base module, from Qt's translations folder
/// (on Windows, deployed beside the program). False when it is not there;
/// the texts then stay Qt's English ones.
bool InstallQtTexts(QCoreApplication& app);

}  // namespace cep
