#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <optional>
#include <string>

class QAction;
class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace cep {

class TAboutBox;
class TMVXFileVersion;

/// The application title: captions of the main window and of every message
/// box.
QString AppTitle();

/// The folder the temporary files go to, ending in "/": DefaultWorkDir of
/// `exeFolder` (the executable's folder while the program is not installed
/// and it can be written, else the user's cache folder). Raises TInOutError
/// when the cache folder cannot be created.
std::string AppDirFor(const QString& exeFolder);

/// The main window: the kind of target database, its path (a local file or a
/// remote database), "Atualiza" and "Cancela", and the status panel the run
/// writes to. Its components carry their names as object names. The enabling
/// rules run whenever the event loop has handled the window's events and
/// nothing modal is open, and on request.
class TfrmMain : public QWidget {
    Q_OBJECT

  public:
    /// Chooses the file name for the browse button; nothing for a cancel.
    /// `filter` is in Qt's notation.
    using TOpenFileDialog = std::function<std::optional<QString>(QWidget*, const QString& filter)>;

    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    /// The box the F1 key (and a pointer movement over the bare window)
    /// shows modally.
    void SetAboutBox(TAboutBox* box) { AboutBox = box; }
    /// Replaces the system's open-file dialog (tests).
    void SetOpenFileDialog(TOpenFileDialog dialog) { FOpenFileDialog = std::move(dialog); }
    /// What "Atualiza" runs: the import run is wired in here. Until then the
    /// action does nothing.
    void SetImportRun(std::function<void()> run) { FImportRun = std::move(run); }

    const TMVXFileVersion& VersionInfo() const { return *MVXFileVersion; }

    /// The enabling rules, at once.
    void ActionListUpdate();

    /// Folder of the temporary files, ending in "/".
    std::string FAppDir;
    /// Run state: ' ' idle, 'I' staging load, 'B' merge.
    char FRunState = ' ';
    double FMergeStart = 0;
    std::atomic<bool> FCancelRequested{false};

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void FormCreate();
    void actImportaExecute();
    void rgrTipoBDClick();
    void FormClose();
    void actCancelaExecute();
    void FormMouseMove();
    void lfoLocalBrowse();
    void ShowAbout();
    void ScheduleUpdate();

    QObject* ActionList = nullptr;
    QAction* actImporta = nullptr;
    QAction* actCancela = nullptr;
    QFrame* pnlStatus = nullptr;
    QLabel* lblStatus = nullptr;
    QFrame* pnlBase = nullptr;
    QPushButton* Button1 = nullptr;
    QGroupBox* rgrTipoBD = nullptr;
    QButtonGroup* rgrTipoBDItems = nullptr;
    QLineEdit* edtRemoto = nullptr;
    QLineEdit* lfoLocal = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLabel* lblNomeArq = nullptr;
    TMVXFileVersion* MVXFileVersion = nullptr;
    QLabel* lblResta = nullptr;
    QPushButton* Button2 = nullptr;

    TAboutBox* AboutBox = nullptr;
    TOpenFileDialog FOpenFileDialog;
    std::function<void()> FImportRun;
    bool FUpdatePending = false;
};

}  // namespace cep
