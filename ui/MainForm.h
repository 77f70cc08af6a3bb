#pragma once

#include <QMessageBox>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/RunView.h"
#include "import/ImportRun.h"

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
class TConnection;
class TDataSetSource;
class TMVXFileVersion;
struct TRunContext;

/// The application title: captions of the main window and of every message
/// box.
QString AppTitle();

/// The folder the temporary files go to, ending in "/": DefaultWorkDir of
/// `exeFolder` (the executable's folder while the program is not installed
/// and it can be written, else the user's cache folder). Raises TInOutError
/// when the cache folder cannot be created.
std::string AppDirFor(const QString& exeFolder);

/// What the final message box of a run shows: its icon, its text and the
/// detail text under it (Windows-1252, "\r" a line break).
struct TResultBox {
    QMessageBox::Icon icon = QMessageBox::Information;
    std::string text;
    std::string detail;
};

/// The final box of a run: the error with the error icon and its reason as
/// detail; otherwise the summary, with the warning icon when records were
/// refused. The run's notes go into the detail text.
TResultBox ResultBoxOf(const TRunResult& result);

/// Interval at which a run's progress is painted and the window's input
/// handled, at most: a new stage text shows at once.
inline constexpr std::chrono::milliseconds kDispatchInterval{30};

/// The main window: the kind of target database, its path (a local file or a
/// remote database), "Atualiza" and "Cancela", and the status panel the run
/// writes to. Its components carry their names as object names. The enabling
/// rules run whenever the event loop has handled the window's events and
/// nothing modal is open, and on request.
///
/// "Atualiza" runs the import run inside its own event, on this thread; the
/// window is the run's view, and its status panel and input are served
/// between records (throttled to kDispatchInterval). The window owns the
/// database connection and the run context for its whole life: every run
/// uses them, and closing the window closes the connection, once no run
/// needs it any more.
class TfrmMain : public QWidget, public TStatusPanel {
    Q_OBJECT

  public:
    /// Chooses the file name for the browse button; nothing for a cancel.
    /// `filter` is in Qt's notation.
    using TOpenFileDialog = std::function<std::optional<QString>(QWidget*, const QString& filter)>;
    /// Answers a message box in place of showing it modally: gets the box as
    /// it would be shown and returns the button chosen.
    using TMessageBoxHook = std::function<QMessageBox::StandardButton(QMessageBox& box)>;

    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    /// The box the F1 key (and a pointer movement over the bare window)
    /// shows modally.
    void SetAboutBox(TAboutBox* box) { AboutBox = box; }
    /// Replaces the system's open-file dialog (tests).
    void SetOpenFileDialog(TOpenFileDialog dialog) { FOpenFileDialog = std::move(dialog); }
    /// Replaces showing the message boxes modally (tests, pictures).
    void SetMessageBoxHook(TMessageBoxHook hook) { FMessageBoxHook = std::move(hook); }
    /// Runs whenever a run hands the window its pending events, just before
    /// they are handled (tests, pictures).
    void SetDispatchHook(std::function<void()> hook) { FDispatchHook = std::move(hook); }
    /// The data sets the runs apply: the program's own unless replaced (a
    /// release folder, in tests). `dataSets` must outlive the window's runs.
    void SetDataSets(const TDataSetSource& dataSets) { FDataSets = &dataSets; }

    const TMVXFileVersion& VersionInfo() const { return *MVXFileVersion; }
    /// The run context every run of the window uses: the connection, the run
    /// state, the cancel request and the folder of the temporary files.
    TRunContext& Run() { return *run; }
    /// True from the start of a run until its final message is acknowledged.
    bool IsRunning() const { return FRunning; }

    /// The enabling rules, at once.
    void ActionListUpdate();

    // The run's view: the status panel, the dispatching of events and the
    // message boxes.
    void Repaint() override;
    void ProcessMessages() override;
    void RunStateChanged(TRunState state) override;
    void ShowError(const std::string& text, const std::string& detail = {}) override;
    void ShowInformation(const std::string& text) override;
    void ShowMessage(const std::string& text, const std::string& detail = {}) override;
    bool AskYesNo(const std::string& text) override;

  protected:
    void StageChanging() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    using TSteadyClock = std::chrono::steady_clock;

    void FormCreate();
    void actImportaExecute();
    void rgrTipoBDClick();
    void FormClose(QCloseEvent* event);
    void actCancelaExecute();
    void FormMouseMove();
    void lfoLocalBrowse();
    void ShowAbout();
    void ScheduleUpdate();
    /// Puts what the run has set into the status panel's widgets; with
    /// `paintNow` those that changed are painted at once, else with the next
    /// events handled.
    void ShowPanel(bool paintNow);
    QMessageBox::StandardButton ShowBox(
        QMessageBox::Icon icon, const std::string& text, const std::string& detail,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::Ok);

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

    // The connection before the run context, which refers to it.
    std::unique_ptr<TConnection> dbsMain;
    std::unique_ptr<TRunContext> run;

    TAboutBox* AboutBox = nullptr;
    TOpenFileDialog FOpenFileDialog;
    TMessageBoxHook FMessageBoxHook;
    std::function<void()> FDispatchHook;
    const TDataSetSource* FDataSets = nullptr;
    bool FUpdatePending = false;
    bool FRunning = false;
    /// The window was closed while a run went on: it closes once the run ended.
    bool FCloseRequested = false;
    /// The panel as its widgets show it.
    std::string FShownStatus, FShownRemaining;
    int32_t FShownMax = 100, FShownPosition = 0;
    /// A new stage text, not yet shown: it is painted, and the events handled,
    /// at once.
    bool FStageChanged = false;
    /// The next dispatch handles the events whatever the interval: the first
    /// of a run and of each stage.
    bool FDispatchDue = true;
    TSteadyClock::time_point FLastPaint{}, FLastDispatch{};
};

}  // namespace cep
