// cep_window_driver: drives the real main window on a real display (Xvfb),
// for the README's pictures and for timing a run through the window.
//
//   cep_window_driver pictures FOLDER DATABASE RELEASE_DIR
//       saves FOLDER/window-idle.png, window-staging.png, window-summary.png
//       and about.png: the window with DATABASE entered, the window during the
//       staging load of the release in RELEASE_DIR, the final summary box
//       over the window, and the About box.
//   cep_window_driver run DATABASE WORK_DIR
//       one run of the release carried inside the program through the
//       window, its temporary files in WORK_DIR; prints the seconds from
//       pressing Atualiza to the final box, and the box's text.
//
// Atualiza is pressed on the window's own button; the message boxes are
// answered (OK, and Yes to the question) by the window's box hook.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

#include "common/WorkDir.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/DataSets.h"
#include "import/RunContext.h"
#include "tests/ui/WidgetLookup.h"
#include "ui/AboutForm.h"
#include "ui/MainForm.h"
#include "ui/ProgramIcon.h"
#include "ui/QtTexts.h"

namespace {

using cep::TfrmMain;

using cep::test::Find;

// Lets the window system show what was drawn: events handled for a while,
// the X server given time to take what the client sent.
void Settle(int ms = 300) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

// The screen's pixels under the given windows, with a margin, as the X
// server holds them.
bool Grab(const QString& file, std::initializer_list<const QWidget*> windows) {
    QRect area;
    for (const QWidget* window : windows)
        area |= window->frameGeometry();
    area.adjust(-8, -8, 8, 8);
    QScreen* screen = QGuiApplication::primaryScreen();
    area &= screen->geometry();
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (shot.isNull() || !shot.save(file, "PNG")) {
        std::fprintf(stderr, "cannot save %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

// Enters the path, lets the enabling rules run and presses Atualiza; returns
// when the run has ended.
void PressAtualiza(TfrmMain& window, const QString& database) {
    Find<QLineEdit>(window, "lfoLocal")->setText(database);
    window.ActionListUpdate();
    auto* button = Find<QPushButton>(window, "Button1");
    if (!button->isEnabled())
        qFatal("Atualiza stays disabled for %s", qPrintable(database));
    button->click();
}

int Pictures(const QString& folder, const QString& database, const QString& releaseDir) {
    TfrmMain window;
    cep::TAboutBox about(window.VersionInfo());
    window.SetAboutBox(&about);
    const cep::TFolderDataSetSource release(releaseDir.toStdString());
    window.SetDataSets(release);
    window.show();
    Settle(800);

    bool ok = true;
    // Idle, the database entered and Atualiza enabled.
    Find<QLineEdit>(window, "lfoLocal")->setText(database);
    window.ActionListUpdate();
    Settle();
    ok &= Grab(folder + "/window-idle.png", {&window});

    // The staging load, once its bar and remaining time show.
    bool staging = false;
    const QString stagingText = QString::fromUtf8("Importando dados para tabela temporária...");
    window.SetDispatchHook([&] {
        auto* bar = Find<QProgressBar>(window, "ProgressBar");
        if (staging || Find<QLabel>(window, "lblStatus")->text() != stagingText ||
            bar->value() < bar->maximum() * 2 / 5 ||
            Find<QLabel>(window, "lblResta")->text().isEmpty())
            return;
        staging = true;
        Settle();
        ok &= Grab(folder + "/window-staging.png", {&window});
    });
    // The final box, shown over the window.
    bool summary = false;
    window.SetMessageBoxHook([&](QMessageBox& box) {
        if (box.icon() == QMessageBox::Question)
            return QMessageBox::Yes;
        summary = box.icon() == QMessageBox::Information;
        box.show();
        Settle(600);
        ok &= Grab(folder + "/window-summary.png", {&window, &box});
        return QMessageBox::Ok;
    });
    PressAtualiza(window, database);
    window.SetDispatchHook({});
    if (!staging || !summary) {
        std::fprintf(stderr, "the run showed no staging load or no summary\n");
        return 1;
    }

    // The About box, as F1 shows it.
    Settle();
    QTimer::singleShot(700, &about, [&] {
        ok &= Grab(folder + "/about.png", {&window, &about});
        about.close();
    });
    about.exec();
    window.close();
    return ok ? 0 : 1;
}

int TimedRun(const QString& database, const QString& workDir) {
    TfrmMain window;
    window.Run().FAppDir = cep::WithSeparator(workDir.toStdString());
    QString text;
    window.SetMessageBoxHook([&](QMessageBox& box) {
        if (box.icon() == QMessageBox::Question)
            return QMessageBox::Yes;
        text = box.text();
        return QMessageBox::Ok;
    });
    window.show();
    Settle();
    QElapsedTimer timer;
    timer.start();
    PressAtualiza(window, database);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("window run: %.2f s\n%s\n", seconds, qPrintable(text));
    window.close();
    return text.contains(QStringLiteral("Registros atualizados")) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setWindowIcon(cep::ProgramIcon());
    cep::InstallQtTexts(app);
    const QStringList args = app.arguments();
    int status = 2;
    if (args.size() == 5 && args[1] == "pictures")
        status = Pictures(args[2], args[3], args[4]);
    else if (args.size() == 4 && args[1] == "run")
        status = TimedRun(args[2], args[3]);
    else
        std::fprintf(stderr,
                     "usage: cep_window_driver pictures FOLDER DATABASE RELEASE_DIR\n"
                     "       cep_window_driver run DATABASE WORK_DIR\n");
    cep::ShutdownFirebird();
    return status;
}
