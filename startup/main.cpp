// cep-atualiza-gui: the window of the postal-code update. Pins a local
// InterBase server to the first processor, then creates the main window and
// the hidden About box, and runs until the main window closes.

#include <QApplication>

#include "database/firebird/FirebirdConnection.h"
#include "startup/UAffinity.h"
#include "ui/AboutForm.h"
#include "ui/MainForm.h"
#include "ui/ProgramIcon.h"
#include "ui/QtTexts.h"

int main(int argc, char** argv) {
    cep::PinServerAffinity(1, "IB");

    QApplication app(argc, argv);
    // The title is the windows' captions' and the message boxes'; Qt's own
    // application name stays the program's file name.
    app.setWindowIcon(cep::ProgramIcon());
    cep::InstallQtTexts(app);

    int exitCode = 0;
    {
        cep::TfrmMain frmMain;
        // After the main window: the box reads the version the window has read.
        cep::TAboutBox AboutBox(frmMain.VersionInfo());
        frmMain.SetAboutBox(&AboutBox);

        frmMain.show();
        exitCode = app.exec();
    }
    // The window closed its connection; the embedded engine's threads end
    // before the process does.
    cep::ShutdownFirebird();
    return exitCode;
}
