// Import runs through the real main window, headless, on real embedded
// databases and a small release: a whole run with the status panel as it is
// painted and the enabling at every dispatch (nothing else starts meanwhile), "Cancela" and closing
// during the bulk stages, the repeated release answered No and Yes, and failed runs followed by a
// good one in the same window.

#include <QAction>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <vector>

#include "database/firebird/FirebirdConnection.h"
#include "import/DataSets.h"
#include "import/RunContext.h"
#include "tests/ui/WidgetLookup.h"
#include "ui/AboutForm.h"
#include "ui/MVXFileVersion.h"
#include "ui/MainForm.h"

using cep::TfrmMain;

namespace {

const QString kStageMuni = QString::fromUtf8("Importando dados Município...");
const QString kStageStaging = QString::fromUtf8("Importando dados para tabela temporária...");
const QString kStageIndexesOff = QStringLiteral("Desativando indices...");
const QString kStageMerge = QStringLiteral("Atualizando tabela de CEP...");
const QString kStageIndexesOn = QString::fromUtf8("Ativando índices. Aguarde...");
const QString kNothingMoved = QStringLiteral("\n\nTempo gasto: ");

constexpr int kRecords = 5000;
/// The whole run's release: a staging load long enough for many dispatches.
constexpr int kLargeRecords = 20000;
constexpr int kMunicipalities = 60;

using cep::test::Find;

/// A message box as the window had it shown.
struct TBoxSeen {
    QMessageBox::Icon icon;
    QString caption, text, detail;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

/// What the window showed at one dispatch of a run's events.
struct TDispatchSeen {
    QString status;
    bool importa, cancela, inputs;
};

/// The target database as a connection of its own reads it.
struct TDbState {
    int cep = -1, muni = -1, activeIndexes = -1;
    QString stamp;
    bool staging = false;
};

cep::TConnectionParams Sysdba(const QString& file) {
    return {{"SERVER NAME=" + file.toStdString(), "USER NAME=SYSDBA", "PASSWORD=corvinale"}};
}

int Count(cep::TQuery& query, const std::string& sql) {
    query.OpenSelect(sql);
    const int count = std::stoi(query.ColumnText("N"));
    query.CloseSelect();
    return count;
}

TDbState StateOf(const QString& file) {
    auto connection = cep::CreateFirebirdConnection();
    connection->OpenConnection(Sysdba(file));
    auto query = connection->CreateQuery();
    TDbState state;
    state.cep = Count(*query, "SELECT COUNT(*) AS N FROM TAB_CEP");
    state.muni = Count(*query, "SELECT COUNT(*) AS N FROM TAB_MUNI");
    state.activeIndexes = Count(*query,
                                "SELECT COUNT(*) AS N FROM RDB$INDICES WHERE RDB$INDEX_NAME IN "
                                "('IDX_CEPS_LOGR', 'IDX_CEPS_MUNIC') AND "
                                "COALESCE(RDB$INDEX_INACTIVE, 0) = 0");
    try {
        query->OpenSelect("SELECT TX_DESCRICAO FROM QUELMAR_INI WHERE ID_ITEM = 'DT_ATU_CEP'");
        if (!query->AtEnd())
            state.stamp = QString::fromStdString(query->ColumnText("TX_DESCRICAO"));
        query->CloseSelect();
    } catch (const cep::TDatabaseError&) {
        state.stamp = QStringLiteral("(no QUELMAR_INI)");
    }
    for (const std::string& table : connection->ListUserTables())
        state.staging |= table == "TAB_CEP_TEMP";
    return state;
}

void RunSql(const QString& file, const std::string& sql) {
    auto connection = cep::CreateFirebirdConnection();
    connection->OpenConnection(Sysdba(file));
    connection->CreateQuery()->RunStatement(sql);
}

/// Records what the status panel paints: the stage texts in the order they
/// were painted, and the bar's paints.
class TPaintLog : public QObject {
  public:
    TPaintLog(QLabel* status, QProgressBar* bar) : FStatus(status), FBar(bar) {
        status->installEventFilter(this);
        bar->installEventFilter(this);
    }
    /// The stage texts painted, each once per run of equal paints, blanks left out.
    QStringList FStages;
    int FBarPaints = 0;
    int FBarPaintsWithProgress = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            if (watched == FStatus && !FStatus->text().isEmpty() &&
                (FStages.isEmpty() || FStages.last() != FStatus->text()))
                FStages << FStatus->text();
            if (watched == FBar) {
                ++FBarPaints;
                FBarPaintsWithProgress += FBar->value() > 0;
            }
        }
        return false;
    }

  private:
    QLabel* FStatus;
    QProgressBar* FBar;
};

/// Where the test's folder goes: under the build tree's test folder.
QString TempTemplate() {
    const QString base = qEnvironmentVariable("CEP_TEST_TMP", QDir::tempPath());
    QDir().mkpath(base);
    return base + "/test_mainrun-XXXXXX";
}

}  // namespace

class TestMainRun : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(FRoot.isValid());
        FRelease = MakeRelease("release", kRecords);
        FLarge = MakeRelease("large", kLargeRecords);
        // No configured path: the window proposes none.
        qputenv("XDG_CONFIG_DIRS", (FRoot.path() + "/xdg").toUtf8());
    }
    void cleanupTestCase() { cep::ShutdownFirebird(); }

    void init() {
        FWork = FRoot.path() + "/" + QTest::currentTestFunction() + "-" +
                QString::number(++FCounter) + "/";
        QVERIFY(QDir().mkpath(FWork + "run"));
        FBoxes.clear();
        FDispatches.clear();
    }

    // A whole run: the stages painted in order, the enabling at every
    // dispatch, the bar painted far less often than records are loaded while
    // the window still handles its timers, and the end of the run.
    void wholeRunPaintsItsStagesAndEnds() {
        const QString db = NewDatabase();
        TfrmMain window;
        Prepare(window);
        window.SetDataSets(*FLarge);
        TPaintLog paints(Find<QLabel>(window, "lblStatus"),
                         Find<QProgressBar>(window, "ProgressBar"));
        int ticksDuringStaging = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, &window, [&] {
            ticksDuringStaging += Find<QLabel>(window, "lblStatus")->text() == kStageStaging;
        });
        ticker.start(5);
        // Pressing Atualiza again during the run starts nothing, and F1 shows
        // no About box, whose modal loop would hold the run up.
        cep::TMVXFileVersion version;
        cep::TAboutBox about(version);
        about.findChild<QTimer*>("Timer1")->setInterval(100);
        window.SetAboutBox(&about);
        int aboutShown = 0;
        connect(&about, &QDialog::finished, &window, [&] { ++aboutShown; });
        window.SetDispatchHook([&] {
            Observe(window);
            QTest::mouseClick(Find<QPushButton>(window, "Button1"), Qt::LeftButton);
            QTest::keyClick(&window, Qt::Key_F1);
        });
        Start(window, db);
        QCOMPARE(aboutShown, 0);
        QTest::keyClick(&window, Qt::Key_F1);  // after the run it does
        QCOMPARE(aboutShown, 1);

        QCOMPARE(paints.FStages, (QStringList{kStageMuni, kStageStaging, kStageIndexesOff,
                                              kStageMerge, kStageIndexesOn}));
        QVERIFY(!FDispatches.empty());
        for (const TDispatchSeen& seen : FDispatches) {
            QVERIFY2(!seen.importa && !seen.inputs, qPrintable(seen.status));
            QCOMPARE(seen.cancela, seen.status == kStageStaging || seen.status == kStageMerge);
        }
        QVERIFY(Seen(kStageMuni) && Seen(kStageStaging) && Seen(kStageMerge));
        QVERIFY(paints.FBarPaintsWithProgress > 0);
        QVERIFY2(paints.FBarPaints < kLargeRecords / 20,
                 qPrintable(QString::number(paints.FBarPaints)));
        QVERIFY2(ticksDuringStaging >= 5, qPrintable(QString::number(ticksDuringStaging)));

        // One final box: the summary.
        QCOMPARE(int(FBoxes.size()), 1);
        QCOMPARE(FBoxes[0].icon, QMessageBox::Information);
        QCOMPARE(FBoxes[0].caption, QString::fromUtf8("Atualização da Tabela de CEP"));
        QVERIFY2(FBoxes[0].text.startsWith(QString::number(kLargeRecords) +
                                           " Registros atualizados." + kNothingMoved),
                 qPrintable(FBoxes[0].text));
        QCOMPARE(FBoxes[0].detail, QString());
        QCOMPARE(FBoxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        ExpectIdleAfterRun(window);
        QVERIFY(window.isVisible());
        QVERIFY(window.Run().dbsMain.IsConnected());  // kept for the next run

        const TDbState after = StateOf(db);
        QCOMPARE(after.cep, kLargeRecords);
        QCOMPARE(after.muni, kMunicipalities);
        QCOMPARE(after.stamp, QStringLiteral("01/02/2018"));
        QVERIFY(!after.staging);
        QCOMPARE(after.activeIndexes, 2);
        QVERIFY(QDir(FWork + "run").isEmpty());  // the temporary files went with the run
    }

    // "Cancela" in the two bulk stages, and closing the window during the
    // municipality load and during the merge: nothing is applied, the
    // summary is shown, and the window closes, after the run has given the
    // connection back.
    void cancelOrCloseAppliesNothingAndCloses_data() {
        QTest::addColumn<QString>("stage");
        QTest::addColumn<bool>("closing");
        QTest::newRow("Cancela, staging load") << kStageStaging << false;
        QTest::newRow("Cancela, merge") << kStageMerge << false;
        QTest::newRow("closing, municipality load") << kStageMuni << true;
        QTest::newRow("closing, merge") << kStageMerge << true;
    }
    void cancelOrCloseAppliesNothingAndCloses() {
        QFETCH(QString, stage);
        QFETCH(bool, closing);
        const QString db = NewDatabase();
        TfrmMain window;
        Prepare(window);
        bool asked = false, closedAtOnce = true, connectedMeanwhile = false;
        window.SetDispatchHook([&] {
            Observe(window);
            if (asked || FDispatches.back().status != stage)
                return;
            asked = true;
            if (closing) {
                closedAtOnce = window.close();
                connectedMeanwhile = window.isVisible() && window.Run().dbsMain.IsConnected();
            } else {
                QVERIFY(FDispatches.back().cancela);
                QTest::mouseClick(Find<QPushButton>(window, "Button2"), Qt::LeftButton);
            }
        });
        Start(window, db);

        QVERIFY(asked);
        if (closing) {
            QVERIFY(!closedAtOnce);
            QVERIFY(connectedMeanwhile);
        }
        QCOMPARE(int(FBoxes.size()), 1);
        QCOMPARE(FBoxes[0].icon, QMessageBox::Information);
        QVERIFY2(FBoxes[0].text.startsWith(kNothingMoved), qPrintable(FBoxes[0].text));
        QVERIFY(!window.isVisible());
        QVERIFY(!window.Run().dbsMain.IsConnected());

        const TDbState after = StateOf(db);
        QCOMPARE(after.cep, 0);
        QCOMPARE(after.muni, 0);
        QCOMPARE(after.stamp, QString());
        QVERIFY(!after.staging);
        QCOMPARE(after.activeIndexes, 2);
    }

    // The release the database already holds: the question, with Atualiza
    // and the inputs disabled while it is open; No changes nothing, Yes
    // applies the release again. Three runs in one window, one connection.
    void repeatedReleaseAnsweredNoThenYes() {
        const QString db = NewDatabase();
        TfrmMain window;
        Prepare(window);
        Start(window, db);
        QCOMPARE(StateOf(db).cep, kRecords);

        RunSql(db, "DELETE FROM TAB_CEP WHERE NU_CEP < '50000000'");
        const int remaining = StateOf(db).cep;
        QVERIFY(remaining < kRecords);
        for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
            FBoxes.clear();
            bool busyAtQuestion = false, escapeIsNo = false;
            window.SetMessageBoxHook([&](QMessageBox& box) {
                Record(box);
                if (box.icon() != QMessageBox::Question)
                    return QMessageBox::Ok;
                busyAtQuestion = !Find<QPushButton>(window, "Button1")->isEnabled() &&
                                 !Find<QLineEdit>(window, "lfoLocal")->isEnabled() &&
                                 !Find<QGroupBox>(window, "rgrTipoBD")->isEnabled();
                escapeIsNo = box.escapeButton() == box.button(QMessageBox::No);
                return answer;
            });
            Start(window, db);
            QCOMPARE(int(FBoxes.size()), 2);
            QCOMPARE(FBoxes[0].icon, QMessageBox::Question);
            QCOMPARE(FBoxes[0].text,
                     QString::fromUtf8(
                         "A data desta atualização é igual\na da tabela de CEP.\n\nSobrepõe?"));
            QCOMPARE(FBoxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(FBoxes[0].defaultButton, QMessageBox::No);
            QVERIFY(busyAtQuestion);
            QVERIFY(escapeIsNo);
            QCOMPARE(FBoxes[1].icon, QMessageBox::Information);
            if (answer == QMessageBox::No) {
                QVERIFY2(FBoxes[1].text.startsWith(kNothingMoved), qPrintable(FBoxes[1].text));
                QCOMPARE(StateOf(db).cep, remaining);
            } else {
                QVERIFY(FBoxes[1].text.startsWith(QString::number(kRecords) + " Registros"));
                QCOMPARE(StateOf(db).cep, kRecords);
            }
            ExpectIdleAfterRun(window);
        }
        QVERIFY(window.isVisible());
        QVERIFY(window.Run().dbsMain.IsConnected());
    }

    // Runs that fail, and then one that completes, in one window on its one
    // connection: no database at the path, then a query that fails with the
    // connection open; each error with the engine's reason as detail text.
    // The completing run has records the staging table refuses, so its
    // summary comes with the warning icon.
    void failedRunsThenOneThatCompletes() {
        const QString notADatabase = FWork + "lumexbd_texto.fdb";
        QFile text(notADatabase);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a database\n");
        text.close();
        const QString broken = NewDatabase("lumexbd_broken.fdb");
        RunSql(broken, "DROP TABLE QUELMAR_INI");
        const QString good = NewDatabase();
        RunSql(good,
               "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
               "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(3), SG_UF CHAR(2), "
               "ID_MUNI_PREV CHAR(5), ID_PAF CHAR(8))");

        TfrmMain window;
        Prepare(window);
        Start(window, notADatabase);
        QCOMPARE(int(FBoxes.size()), 1);
        QCOMPARE(FBoxes[0].icon, QMessageBox::Critical);
        QCOMPARE(FBoxes[0].text, QStringLiteral("Erro de acesso ao BD"));
        QVERIFY2(FBoxes[0].detail.contains("lumexbd_texto.fdb"), qPrintable(FBoxes[0].detail));
        ExpectIdleAfterRun(window);

        FBoxes.clear();
        Start(window, broken);
        QCOMPARE(int(FBoxes.size()), 1);
        QCOMPARE(FBoxes[0].icon, QMessageBox::Critical);
        QCOMPARE(FBoxes[0].text, QStringLiteral("Erro no processo"));
        QVERIFY2(FBoxes[0].detail.contains("QUELMAR_INI"), qPrintable(FBoxes[0].detail));
        QVERIFY2(FBoxes[0].detail.endsWith(QString::fromUtf8("O banco de dados não foi alterado.")),
                 qPrintable(FBoxes[0].detail));
        ExpectIdleAfterRun(window);
        QCOMPARE(StateOf(broken).cep, 0);

        FBoxes.clear();
        Start(window, good);
        QCOMPARE(int(FBoxes.size()), 1);
        QCOMPARE(FBoxes[0].icon, QMessageBox::Warning);
        QVERIFY2(FBoxes[0].text.contains(" Registros rejeitados."), qPrintable(FBoxes[0].text));
        const TDbState after = StateOf(good);
        QVERIFY(after.cep > 0 && after.cep < kRecords);
        QCOMPARE(after.stamp, QStringLiteral("01/02/2018"));
        QCOMPARE(after.activeIndexes, 2);
        QVERIFY(window.isVisible());
    }

  private:
    std::unique_ptr<cep::TFolderDataSetSource> MakeRelease(const QString& name, int records) {
        const QString dir = FRoot.path() + "/" + name;
        QDir().mkpath(dir);
        if (QProcess::execute(CEP_GEN_RELEASE,
                              {"--out", dir, "--records", QString::number(records), "--munis",
                               QString::number(kMunicipalities), "--seed", "11"}) != 0)
            qFatal("cep_gen_release failed");
        return std::make_unique<cep::TFolderDataSetSource>(dir.toStdString());
    }

    QString NewDatabase(const QString& name = QStringLiteral("lumexbd.fdb")) {
        const QString file = FWork + name;
        const int status = QProcess::execute(
            QStringLiteral("bash"), {CEP_SOURCE_DIR "/tools/make-sample-db.sh", "--force", file});
        if (status != 0)
            qFatal("make-sample-db.sh failed for %s", qPrintable(file));
        return file;
    }

    void Record(QMessageBox& box) {
        FBoxes.push_back({box.icon(), box.windowTitle(), box.text(), box.detailedText(),
                          box.standardButtons(), box.standardButton(box.defaultButton())});
    }

    // The window on the test's release and work folder, shown, its boxes
    // answered with OK.
    void Prepare(TfrmMain& window) {
        window.SetDataSets(*FRelease);
        window.Run().FAppDir = (FWork + "run/").toStdString();
        window.SetMessageBoxHook([this](QMessageBox& box) {
            Record(box);
            return QMessageBox::Ok;
        });
        window.SetDispatchHook([this, &window] { Observe(window); });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    void Observe(const TfrmMain& window) {
        FDispatches.push_back({Find<QLabel>(window, "lblStatus")->text(),
                               Find<QPushButton>(window, "Button1")->isEnabled(),
                               Find<QPushButton>(window, "Button2")->isEnabled(),
                               Find<QLineEdit>(window, "lfoLocal")->isEnabled() ||
                                   Find<QLineEdit>(window, "edtRemoto")->isEnabled() ||
                                   Find<QGroupBox>(window, "rgrTipoBD")->isEnabled()});
    }

    bool Seen(const QString& stage) const {
        for (const TDispatchSeen& seen : FDispatches)
            if (seen.status == stage)
                return true;
        return false;
    }

    // Types the path, waits for the rules to enable Atualiza and presses it;
    // returns when the run has ended.
    void Start(TfrmMain& window, const QString& path) {
        auto* local = Find<QLineEdit>(window, "lfoLocal");
        QCOMPARE(local->text(), QString());
        QTest::keyClicks(local, path);
        QTRY_VERIFY(Find<QPushButton>(window, "Button1")->isEnabled());
        QTest::mouseClick(Find<QPushButton>(window, "Button1"), Qt::LeftButton);
        QVERIFY(!window.IsRunning());
    }

    // After a run: the panel cleared, both inputs emptied, the inputs enabled
    // again and Atualiza off until a path is entered.
    void ExpectIdleAfterRun(const TfrmMain& window) {
        QCOMPARE(Find<QLabel>(window, "lblStatus")->text(), QString());
        QCOMPARE(Find<QLabel>(window, "lblResta")->text(), QString());
        QCOMPARE(Find<QProgressBar>(window, "ProgressBar")->value(), 0);
        QCOMPARE(Find<QLineEdit>(window, "lfoLocal")->text(), QString());
        QCOMPARE(Find<QLineEdit>(window, "edtRemoto")->text(), QString());
        QVERIFY(Find<QLineEdit>(window, "lfoLocal")->isEnabled());
        QVERIFY(Find<QGroupBox>(window, "rgrTipoBD")->isEnabled());
        QVERIFY(!Find<QPushButton>(window, "Button1")->isEnabled());
        QVERIFY(!Find<QPushButton>(window, "Button2")->isEnabled());
    }

    QTemporaryDir FRoot{TempTemplate()};
    std::unique_ptr<cep::TFolderDataSetSource> FRelease, FLarge;
    QString FWork;
    int FCounter = 0;
    std::vector<TBoxSeen> FBoxes;
    std::vector<TDispatchSeen> FDispatches;
};

QTEST_MAIN(TestMainRun)
#include "test_mainrun.moc"
