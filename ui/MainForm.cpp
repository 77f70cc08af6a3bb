#include "ui/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <exception>

#include "common/AnsiText.h"
#include "common/WorkDir.h"
#include "database/Release.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/RunContext.h"
#include "resources/EmbeddedDataSets.h"
#include "ui/AboutForm.h"
#include "ui/DefaultPath.h"
#include "ui/MVXFileVersion.h"
#include "ui/ProgramIcon.h"

namespace cep {

namespace {

constexpr int kClientWidth = 409, kClientHeight = 188;
constexpr int kStatusHeight = 34, kStatusBorder = 2;

// The open-file filter, one entry: ".gdb" and ".idb" as the maker's
// applications name their databases, and Firebird's ".fdb".
const char kDataFileFilter[] = "Arquivos de Dados (*.gdb *.idb *.fdb)";

QString LocalHint() {
    return QString::fromUtf8(
        "Informe o caminho e nome do arquivo da dados.\n"
        "Ex: C:\\Arquivos de programas\\Morvalex\\Sistema\\Data\\Banco.gdb");
}

QString RemoteHint() {
    return QString::fromUtf8(
        "Informe o endereço do arquivo de dados remoto.\n"
        "Ex: servidor:C:\\Arquivos de programas\\Morvalex\\Sistema\\Data\\Banco.gdb");
}

/// A push button that shows and triggers an action, as a button bound to an
/// action does: its caption and enabling follow the action's.
void BindButton(QPushButton* button, QAction* action) {
    const auto follow = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    };
    follow();
    QObject::connect(action, &QAction::changed, button, follow);
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
}

QFrame* MakePanel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setGeometry(geometry);
    return panel;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

std::optional<QString> SystemOpenFileDialog(QWidget* parent, const QString& filter) {
    const QString name = QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

/// A text of the run (Windows-1252, "\r" a line break) as the window shows it.
QString DisplayText(const std::string& text) {
    return QString::fromStdString(DisplayUtf8(text));
}

/// Sets a label's text; true when it changed.
bool SetLabel(QLabel* label, const std::string& text, std::string& shown) {
    if (text == shown)
        return false;
    shown = text;
    label->setText(DisplayText(text));
    return true;
}

}  // namespace

TResultBox ResultBoxOf(const TRunResult& result) {
    TResultBox box;
    box.text = result.message;
    if (result.isError) {
        box.icon = QMessageBox::Critical;
        box.detail = result.detail;
    } else if (result.outcome == TRunOutcome::CompletedRefused) {
        box.icon = QMessageBox::Warning;
    }
    for (const std::string& note : result.notes)
        box.detail += (box.detail.empty() ? "" : "\r") + note;
    // After an error, a cancel or a note, the user is told what the database
    // holds now; a plain summary says it already.
    if (!result.applied || !box.detail.empty())
        box.detail += (box.detail.empty() ? "" : "\r") + DatabaseStateText(result);
    return box;
}

QString AppTitle() {
    return QString::fromUtf8("Atualização da Tabela de CEP");
}

std::string AppDirFor(const QString& exeFolder) {
    return WithSeparator(DefaultWorkDir(QFile::encodeName(exeFolder).toStdString()));
}

TfrmMain::TfrmMain(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowContextHelpButtonHint) {
    setObjectName(QStringLiteral("frmMain"));
    setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    setFixedSize(kClientWidth, kClientHeight);
    setWindowIcon(ProgramIcon());
    setMouseTracking(true);  // FormMouseMove sees every movement over the bare window
    FOpenFileDialog = SystemOpenFileDialog;
    dbsMain = CreateFirebirdConnection();
    run = std::make_unique<TRunContext>(*dbsMain, *this, std::string());
    FDataSets = &EmbeddedDataSets();

    ActionList = new QObject(this);
    ActionList->setObjectName(QStringLiteral("ActionList"));
    actImporta = new QAction(QStringLiteral("Atualiza"), ActionList);
    actImporta->setObjectName(QStringLiteral("actImporta"));
    actImporta->setToolTip(QStringLiteral("Importa CEP"));  // kept, not shown
    connect(actImporta, &QAction::triggered, this, [this] { actImportaExecute(); });

    pnlStatus = MakePanel(this, "pnlStatus",
                          QRect(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight));
    pnlStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlStatus->setLineWidth(1);
    lblStatus = MakeLabel(pnlStatus, "lblStatus", QRect(8, 4, 250, 14));
    pnlBase = MakePanel(this, "pnlBase", QRect(0, 0, kClientWidth, kClientHeight - kStatusHeight));

    Button1 = new QPushButton(pnlBase);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(245, 116, 75, 25);
    BindButton(Button1, actImporta);

    rgrTipoBD = new QGroupBox(QStringLiteral("Tipo de Banco de Dados de destino"), pnlBase);
    rgrTipoBD->setObjectName(QStringLiteral("rgrTipoBD"));
    rgrTipoBD->setGeometry(8, 4, 393, 42);
    rgrTipoBDItems = new QButtonGroup(rgrTipoBD);
    const QString items[] = {QString::fromUtf8("Local (nesta máquina)"),
                             QStringLiteral("Remoto (na rede)")};
    for (int i = 0; i < 2; ++i) {
        auto* item = new QRadioButton(items[i], rgrTipoBD);
        item->setObjectName(QStringLiteral("rgrTipoBD%1").arg(i));
        item->setGeometry(10 + i * 192, 18, 185, 18);  // two columns
        rgrTipoBDItems->addButton(item, i);
    }
    rgrTipoBDItems->button(0)->setChecked(true);
    connect(rgrTipoBDItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            rgrTipoBDClick();
    });

    edtRemoto = new QLineEdit(pnlBase);
    edtRemoto->setObjectName(QStringLiteral("edtRemoto"));
    edtRemoto->setGeometry(8, 110, 393, 21);
    edtRemoto->hide();

    lfoLocal = new QLineEdit(pnlBase);
    lfoLocal->setObjectName(QStringLiteral("lfoLocal"));
    lfoLocal->setGeometry(8, 86, 393, 21);
    QAction* browse = lfoLocal->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                          QLineEdit::TrailingPosition);
    browse->setObjectName(QStringLiteral("lfoLocalBrowse"));
    connect(browse, &QAction::triggered, this, [this] { lfoLocalBrowse(); });

    ProgressBar = new QProgressBar(pnlStatus);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(8, 22, 150, 6);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);

    lblNomeArq = MakeLabel(pnlBase, "lblNomeArq", QRect(8, 52, 393, 30));
    lblNomeArq->setWordWrap(true);
    QPalette red = lblNomeArq->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblNomeArq->setPalette(red);

    MVXFileVersion = new TMVXFileVersion(this);

    lblResta = MakeLabel(pnlStatus, "lblResta", QRect(262, 4, 139, 14));
    lblResta->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lblResta->setText(QStringLiteral("Tempo restante: "));

    Button2 = new QPushButton(pnlBase);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(326, 116, 75, 25);
    actCancela = new QAction(QStringLiteral("Cancela"), ActionList);
    actCancela->setObjectName(QStringLiteral("actCancela"));
    actCancela->setToolTip(QStringLiteral("Cancela"));
    connect(actCancela, &QAction::triggered, this, [this] { actCancelaExecute(); });
    BindButton(Button2, actCancela);

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { ShowAbout(); });

    FormCreate();
    if (QScreen* screen = this->screen())  // centred on the screen
        move(screen->availableGeometry().center() - rect().center());
    qApp->installEventFilter(this);
    ScheduleUpdate();
}

TfrmMain::~TfrmMain() {
    qApp->removeEventFilter(this);
    run.reset();  // its work query belongs to the connection
    dbsMain.reset();
}

void TfrmMain::FormCreate() {
    // The maker's configured database path; on Windows a registry value of
    // the wrong type ends these steps with its message, and the window opens
    // without a proposed path.
    try {
        const std::string path = ReadDefaultDatabasePath();
        if (!path.empty()) {
            // The item first: changing it empties an input (rgrTipoBDClick).
            const QString text = QFile::decodeName(QByteArray::fromStdString(path));
            if (IsLocalDatabasePath(path)) {
                rgrTipoBDItems->button(0)->setChecked(true);
                lfoLocal->setText(text);
            } else {
                rgrTipoBDItems->button(1)->setChecked(true);
                edtRemoto->setText(text);
            }
        }
    } catch (const std::exception& error) {
        QMessageBox::critical(this, AppTitle(), QString::fromLocal8Bit(error.what()));
    }

    MVXFileVersion->SetFileName(QCoreApplication::applicationFilePath());
    setWindowTitle(AppTitle() + QStringLiteral(" - ") + QString::fromLatin1(ReleaseDate));
    try {
        run->FAppDir = AppDirFor(QCoreApplication::applicationDirPath());
    } catch (const std::exception& error) {
        QMessageBox::critical(this, AppTitle(), QString::fromLocal8Bit(error.what()));
    }

    edtRemoto->move(edtRemoto->x(), lfoLocal->y());
    ProgressBar->resize(pnlStatus->width() - 2 * kStatusBorder - 12, ProgressBar->height());

    run->FRunState = TRunState::Idle;
    lblStatus->clear();
    lblResta->clear();
}

void TfrmMain::ActionListUpdate() {
    // "Cancela" serves the two bulk stages; nothing else may start or change
    // while a run is in progress, from its first step to its final message.
    const bool running = run->FRunState == TRunState::Staging || run->FRunState == TRunState::Merge;
    const bool busy = FRunning || running;
    actCancela->setEnabled(running);

    const bool local = rgrTipoBDItems->checkedId() == 0;
    lfoLocal->setVisible(local);
    edtRemoto->setVisible(!local);

    // The file is looked at only when "Atualiza" could be pressed: not at
    // every dispatch of a run.
    auto ready = [&] {
        if (!local)
            return !edtRemoto->text().isEmpty();
        const QFileInfo file(lfoLocal->text());
        return !lfoLocal->text().isEmpty() && file.exists() && !file.isDir();
    };
    actImporta->setEnabled(!busy && ready());

    lfoLocal->setEnabled(!busy);
    edtRemoto->setEnabled(!busy);
    rgrTipoBD->setEnabled(!busy);

    lblNomeArq->setText(local ? LocalHint() : RemoteHint());
}

// The window's own idle-time update: after the event loop has delivered an
// event to the window or one of its controls, the rules run once the loop has
// nothing else queued, unless the window is hidden, disabled or under a
// modal window.
bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (!FUpdatePending && event->type() != QEvent::Paint &&
        event->type() != QEvent::UpdateRequest && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget == this || isAncestorOf(widget))
            ScheduleUpdate();
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::ScheduleUpdate() {
    FUpdatePending = true;
    QTimer::singleShot(0, this, [this] {
        FUpdatePending = false;
        if (isVisible() && isEnabled() && !QApplication::activeModalWidget())
            ActionListUpdate();
    });
}

void TfrmMain::actImportaExecute() {
    if (FRunning)
        return;  // one run at a time
    if (run->FAppDir.empty()) {
        // No folder for the temporary files (told at start-up): no run.
        ShowBox(QMessageBox::Critical, "Sem pasta para os arquivos tempor\xE1rios.", {});
        return;
    }
    FRunning = true;
    FCloseRequested = false;
    FDispatchDue = true;
    ActionListUpdate();
    // The path is the visible input's text, as typed.
    const QLineEdit* input = edtRemoto->isHidden() ? lfoLocal : edtRemoto;
    const std::string path = QFile::encodeName(input->text()).toStdString();

    TRunResult result;
    {
        // Whatever happens, the window takes input again afterwards.
        struct TEndRun {
            bool& running;
            ~TEndRun() { running = false; }
        } endRun{FRunning};
        result = RunImport(*run, path, *FDataSets);

        // The end of the run: the panel as the run left it (cleared), both
        // inputs emptied, so every run starts from a path chosen anew.
        ShowPanel(true);
        lfoLocal->clear();
        edtRemoto->clear();
        const TResultBox box = ResultBoxOf(result);
        ShowBox(box.icon, box.text, box.detail);
    }
    ActionListUpdate();
    // A cancel ends the program; so does a close the run held back.
    if (run->FCancelRequested || FCloseRequested)
        close();
}

void TfrmMain::rgrTipoBDClick() {
    // The visibility is still the previous choice's: the input about to be
    // shown is emptied, the one being hidden keeps its text.
    if (!edtRemoto->isHidden())
        lfoLocal->clear();
    else
        edtRemoto->clear();
}

void TfrmMain::lfoLocalBrowse() {
    if (const std::optional<QString> name =
            FOpenFileDialog(this, QString::fromLatin1(kDataFileFilter)))
        lfoLocal->setText(QDir::toNativeSeparators(*name));
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    FormClose(event);
}

void TfrmMain::FormClose(QCloseEvent* event) {
    run->FCancelRequested = true;
    if (FRunning) {
        // The run still uses the connection (the merge may be inside a
        // statement on it): it stops at the cancel, rolls back and then
        // closes the window itself.
        FCloseRequested = true;
        event->ignore();
        return;
    }
    dbsMain->CloseConnection();
    event->accept();
}

void TfrmMain::actCancelaExecute() {
    run->FCancelRequested = true;
}

void TfrmMain::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    // Moves over the controls propagate up to here too: only the bare
    // window counts.
    if (!childAt(event->position().toPoint()))
        FormMouseMove();
}

// The panels cover the whole client area, so in practice this runs only
// through F1.
void TfrmMain::FormMouseMove() {
    ShowAbout();
}

void TfrmMain::ShowAbout() {
    // Not during a run: its modal loop would hold the run up until it closed.
    if (AboutBox && !AboutBox->isVisible() && !FRunning)
        AboutBox->exec();
}

// ------------------------------------------------------------ the run's view

void TfrmMain::StageChanging() {
    FStageChanged = true;
}

void TfrmMain::ShowPanel(bool paintNow) {
    if (FStageChanged) {
        FStageChanged = false;
        FDispatchDue = true;
    }
    const bool status = SetLabel(lblStatus, Status(), FShownStatus);
    const bool remaining = SetLabel(lblResta, Remaining(), FShownRemaining);
    bool bar = false;
    if (ProgressMax() != FShownMax || ProgressPosition() != FShownPosition) {
        FShownMax = ProgressMax();
        FShownPosition = ProgressPosition();
        // A maximum of 0 shows an empty bar (Qt would show a busy one), and a
        // position beyond the maximum a full one (Qt would ignore it).
        const int maximum = std::max(FShownMax, 1);
        ProgressBar->setRange(0, maximum);
        ProgressBar->setValue(std::clamp(FShownPosition, 0, maximum));
        bar = true;
    }
    if (!paintNow)
        return;
    if (status)
        lblStatus->repaint();
    if (remaining)
        lblResta->repaint();
    if (bar)
        ProgressBar->repaint();
}

// Called after every record: painting a million bars would cost more than
// the records, so the panel is painted at most every kDispatchInterval, and
// at once for a new stage text.
void TfrmMain::Repaint() {
    const TSteadyClock::time_point now = TSteadyClock::now();
    if (!FStageChanged && now - FLastPaint < kDispatchInterval)
        return;
    FLastPaint = now;
    ShowPanel(true);
}

void TfrmMain::ProcessMessages() {
    const TSteadyClock::time_point now = TSteadyClock::now();
    if (!FStageChanged && !FDispatchDue && now - FLastDispatch < kDispatchInterval)
        return;
    ShowPanel(false);
    FDispatchDue = false;
    FLastDispatch = now;
    if (FDispatchHook)
        FDispatchHook();
    // Handling the events paints what changed, all in one go: the next
    // Repaint has nothing to do before the interval is up again.
    QCoreApplication::processEvents();
    FLastPaint = now;
}

void TfrmMain::RunStateChanged(TRunState) {
    ActionListUpdate();
}

QMessageBox::StandardButton TfrmMain::ShowBox(QMessageBox::Icon icon, const std::string& text,
                                              const std::string& detail,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton) {
    ShowPanel(true);  // the panel behind the box as the run has set it
    QMessageBox box(icon, AppTitle(), DisplayText(text), buttons, this);
    if (!detail.empty())
        box.setDetailedText(DisplayText(detail));
    box.setDefaultButton(defaultButton);
    // Plain buttons, as the program's platform draws them (some styles put
    // an icon on each).
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon());
    if (buttons.testFlag(QMessageBox::No))
        box.setEscapeButton(QMessageBox::No);
    if (FMessageBoxHook)
        return FMessageBoxHook(box);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void TfrmMain::ShowError(const std::string& text, const std::string& detail) {
    ShowBox(QMessageBox::Critical, text, detail);
}

void TfrmMain::ShowInformation(const std::string& text) {
    ShowBox(QMessageBox::Information, text, {});
}

void TfrmMain::ShowMessage(const std::string& text, const std::string& detail) {
    ShowBox(QMessageBox::NoIcon, text, detail);
}

bool TfrmMain::AskYesNo(const std::string& text) {
    return ShowBox(QMessageBox::Question, text, {}, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace cep
