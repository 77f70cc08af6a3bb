// The main window on its real widgets, headless: the proposed path, the
// caption and layout, the enabling rules (as a table and through the event
// loop), switching the database kind, browsing, the About box, the message
// boxes of the run and closing. Runs through the window: test_mainrun.cpp.

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>

#include "import/RunContext.h"
#include "tests/ui/WidgetLookup.h"
#include "ui/AboutForm.h"
#include "ui/MVXFileVersion.h"
#include "ui/MainForm.h"
#include "ui/QtTexts.h"

using cep::TfrmMain;
using cep::TRunState;

Q_DECLARE_METATYPE(cep::TRunState)

namespace {

const QString kLocalHint = QString::fromUtf8(
    "Informe o caminho e nome do arquivo da dados.\n"
    "Ex: C:\\Arquivos de programas\\Morvalex\\Sistema\\Data\\Banco.gdb");
const QString kRemoteHint = QString::fromUtf8(
    "Informe o endereço do arquivo de dados remoto.\n"
    "Ex: servidor:C:\\Arquivos de programas\\Morvalex\\Sistema\\Data\\Banco.gdb");

using cep::test::Find;

void Write(const QString& path, const std::string& text) {
    QDir().mkpath(QFileInfo(path).path());
    std::ofstream(path.toStdString(), std::ios::binary) << text;
}

}  // namespace

class TestMainForm : public QObject {
    Q_OBJECT

  private slots:
    // Qt's own texts in Portuguese, as the program has them.
    void initTestCase() { QVERIFY(cep::InstallQtTexts(*qApp)); }

    void init() {
        // No settings: no path proposed, unless a test writes one.
        qputenv("XDG_CONFIG_DIRS", (config.path() + "/xdg").toUtf8());
        QDir(config.path() + "/xdg").removeRecursively();
    }

    void proposesTheConfiguredPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::newRow("none") << "" << 0 << ""
                              << "";
        QTest::newRow("drive") << "C:\\Dados\\lumexbd.gdb" << 0 << "C:\\Dados\\lumexbd.gdb"
                               << "";
        QTest::newRow("absolute") << "/srv/lumexbd.fdb" << 0 << "/srv/lumexbd.fdb"
                                  << "";
        QTest::newRow("server") << "servidor:/dados/x.fdb" << 1 << ""
                                << "servidor:/dados/x.fdb";
        QTest::newRow("no colon") << "x.fdb" << 1 << ""
                                  << "x.fdb";
        QTest::newRow("one-letter server") << "a:/dados/x.fdb" << 0 << "a:/dados/x.fdb"
                                           << "";
    }
    void proposesTheConfiguredPath() {
        QFETCH(QString, path);
        QFETCH(int, item);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        if (!path.isEmpty()) {
            Write(config.path() + "/xdg/Morvalex/QuelmarPref.conf",
                  "RootDirectory=" + config.path().toStdString() + "/root\n");
            Write(config.path() + "/root/Quelmar.ini",
                  "[SERVER]\nPATH=" + path.toStdString() + "\n");
        }
        TfrmMain window;
        window.ActionListUpdate();
        QVERIFY(Find<QRadioButton>(window, item == 0 ? "rgrTipoBD0" : "rgrTipoBD1")->isChecked());
        QCOMPARE(Find<QLineEdit>(window, "lfoLocal")->text(), local);
        QCOMPARE(Find<QLineEdit>(window, "edtRemoto")->text(), remote);
        QCOMPARE(Find<QLineEdit>(window, "lfoLocal")->isHidden(), item != 0);
        // Only a remote path enables Atualiza here: the local files do not exist.
        QCOMPARE(Find<QAction>(window, "actImporta")->isEnabled(), item == 1);
    }

    void captionLayoutAndStart() {
        TfrmMain window;
        QCOMPARE(window.windowTitle(),
                 QString::fromUtf8("Atualização da Tabela de CEP - 01/02/2018"));
        QCOMPARE(window.size(), QSize(409, 188));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        const auto* status = Find<QWidget>(window, "pnlStatus");
        QCOMPARE(status->geometry(), QRect(0, 154, 409, 34));
        QCOMPARE(Find<QWidget>(window, "pnlBase")->geometry(), QRect(0, 0, 409, 154));
        QCOMPARE(Find<QProgressBar>(window, "ProgressBar")->size(), QSize(393, 6));
        QCOMPARE(Find<QWidget>(window, "edtRemoto")->y(), Find<QWidget>(window, "lfoLocal")->y());
        QCOMPARE(Find<QLabel>(window, "lblStatus")->text(), QString());
        QCOMPARE(Find<QLabel>(window, "lblResta")->text(), QString());
        QCOMPARE(Find<QGroupBox>(window, "rgrTipoBD")->title(),
                 QStringLiteral("Tipo de Banco de Dados de destino"));
        QCOMPARE(Find<QRadioButton>(window, "rgrTipoBD0")->text(),
                 QString::fromUtf8("Local (nesta máquina)"));
        QCOMPARE(Find<QRadioButton>(window, "rgrTipoBD1")->text(),
                 QStringLiteral("Remoto (na rede)"));
        QCOMPARE(Find<QPushButton>(window, "Button1")->text(), QStringLiteral("Atualiza"));
        QCOMPARE(Find<QPushButton>(window, "Button2")->text(), QStringLiteral("Cancela"));
        QCOMPARE(window.Run().FRunState, TRunState::Idle);
        QCOMPARE(window.VersionInfo().FileVersion(), QStringLiteral("1.2.0.1"));
        QCOMPARE(QString::fromStdString(window.Run().FAppDir),
                 QCoreApplication::applicationDirPath() + "/");
    }

    void appDirFallsBackToTheCache() {
        QTemporaryDir cache;
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        QCOMPARE(QString::fromStdString(cep::AppDirFor(config.path())), config.path() + "/");
        for (const QString& folder : {QStringLiteral("/proc"), config.path() + "/missing"})
            QCOMPARE(QString::fromStdString(cep::AppDirFor(folder)),
                     cache.path() + "/cep-atualiza/");
        QVERIFY(QFileInfo(cache.path() + "/cep-atualiza").isDir());
        qputenv("XDG_CACHE_HOME", "");
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", cache.path().toUtf8());
        QCOMPARE(QString::fromStdString(cep::AppDirFor("/proc")),
                 cache.path() + "/.cache/cep-atualiza/");
        qputenv("HOME", home);
    }

    void enablingRules_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<TRunState>("state");
        QTest::addColumn<bool>("importa");
        const QString file = config.path() + "/lumexbd.gdb";
        const QString folder = config.path();
        const QString missing = config.path() + "/none.gdb";
        const TRunState idle = TRunState::Idle;
        QTest::newRow("local, empty") << 0 << ""
                                      << "srv:x" << idle << false;
        QTest::newRow("local, existing file") << 0 << file << "" << idle << true;
        QTest::newRow("local, folder") << 0 << folder << "" << idle << false;
        QTest::newRow("local, missing file") << 0 << missing << "srv:x" << idle << false;
        QTest::newRow("remote, empty") << 1 << file << "" << idle << false;
        QTest::newRow("remote, blanks") << 1 << ""
                                        << "  " << idle << true;
        QTest::newRow("remote, address") << 1 << ""
                                         << "srv:/x.fdb" << idle << true;
        QTest::newRow("staging load") << 0 << file << "" << TRunState::Staging << false;
        QTest::newRow("merge") << 1 << ""
                               << "srv:/x.fdb" << TRunState::Merge << false;
    }
    void enablingRules() {
        QFETCH(int, item);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        QFETCH(TRunState, state);
        QFETCH(bool, importa);
        Write(config.path() + "/lumexbd.gdb", "x");
        TfrmMain window;
        Find<QRadioButton>(window, item == 0 ? "rgrTipoBD0" : "rgrTipoBD1")->setChecked(true);
        Find<QLineEdit>(window, "lfoLocal")->setText(local);
        Find<QLineEdit>(window, "edtRemoto")->setText(remote);
        window.Run().FRunState = state;
        window.ActionListUpdate();
        const bool running = state != TRunState::Idle;
        QCOMPARE(Find<QAction>(window, "actImporta")->isEnabled(), importa);
        QCOMPARE(Find<QPushButton>(window, "Button1")->isEnabled(), importa);
        QCOMPARE(Find<QAction>(window, "actCancela")->isEnabled(), running);
        QCOMPARE(Find<QPushButton>(window, "Button2")->isEnabled(), running);
        QCOMPARE(Find<QLineEdit>(window, "lfoLocal")->isHidden(), item != 0);
        QCOMPARE(Find<QLineEdit>(window, "edtRemoto")->isHidden(), item == 0);
        for (const char* input : {"lfoLocal", "edtRemoto", "rgrTipoBD"})
            QCOMPARE(Find<QWidget>(window, input)->isEnabled(), !running);
        QCOMPARE(Find<QLabel>(window, "lblNomeArq")->text(), item == 0 ? kLocalHint : kRemoteHint);
    }

    void rulesRunWhenTheLoopIsIdle() {
        cep::TMVXFileVersion version;
        cep::TAboutBox about(version);
        TfrmMain window;
        window.SetAboutBox(&about);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* importa = Find<QAction>(window, "actImporta");
        auto* cancela = Find<QAction>(window, "actCancela");
        QTRY_VERIFY(!Find<QLineEdit>(window, "lfoLocal")->isHidden());
        QVERIFY(!importa->isEnabled());

        QTest::mouseClick(Find<QRadioButton>(window, "rgrTipoBD1"), Qt::LeftButton);
        QTRY_VERIFY(!Find<QLineEdit>(window, "edtRemoto")->isHidden());
        QTest::keyClicks(Find<QLineEdit>(window, "edtRemoto"), "srv:/x.fdb");
        QTRY_VERIFY(importa->isEnabled());

        // Not while a modal window is open: F1 shows the About box; a state
        // change meanwhile shows only once it has closed.
        about.findChild<QTimer*>("Timer1")->setInterval(300);
        QTimer::singleShot(50, &window, [&] {
            QVERIFY(about.isVisible());
            window.Run().FRunState = TRunState::Staging;
            // An event for the window, as a timer or the system would send.
            QCoreApplication::postEvent(&window, new QEvent(QEvent::User));
            QTest::qWait(100);
            QVERIFY(!cancela->isEnabled());
        });
        QTest::keyClick(&window, Qt::Key_F1);
        QVERIFY(!about.isVisible());
        QTRY_VERIFY(cancela->isEnabled());
        QVERIFY(!importa->isEnabled());
    }

    void pointerOverTheControlsShowsNoAbout() {
        cep::TMVXFileVersion version;
        cep::TAboutBox about(version);
        TfrmMain window;
        window.SetAboutBox(&about);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool shown = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, &about, [&] {
            if (about.isVisible()) {
                shown = true;
                about.close();
            }
        });
        watch.start(10);
        for (const char* name : {"pnlBase", "pnlStatus", "lblNomeArq", "rgrTipoBD"}) {
            auto* control = Find<QWidget>(window, name);
            QTest::mouseMove(control, QPoint(2, 2));
            QTest::mouseMove(control, control->rect().center());
            QTest::qWait(30);
            QVERIFY2(!shown, name);
        }
    }

    void switchingKindEmptiesTheInputShown() {
        TfrmMain window;
        auto* local = Find<QLineEdit>(window, "lfoLocal");
        auto* remote = Find<QLineEdit>(window, "edtRemoto");
        local->setText("C:\\x.gdb");
        window.ActionListUpdate();
        Find<QRadioButton>(window, "rgrTipoBD1")->setChecked(true);
        window.ActionListUpdate();
        QCOMPARE(remote->text(), QString());
        QCOMPARE(local->text(), QStringLiteral("C:\\x.gdb"));  // kept while hidden
        remote->setText("srv:/x.fdb");
        Find<QRadioButton>(window, "rgrTipoBD0")->setChecked(true);
        window.ActionListUpdate();
        QCOMPARE(local->text(), QString());
        QCOMPARE(remote->text(), QStringLiteral("srv:/x.fdb"));
        // The selected item again: nothing changes.
        local->setText("C:\\y.gdb");
        Find<QRadioButton>(window, "rgrTipoBD0")->click();
        QCOMPARE(local->text(), QStringLiteral("C:\\y.gdb"));
    }

    void browseReplacesTheLocalName() {
        TfrmMain window;
        auto* local = Find<QLineEdit>(window, "lfoLocal");
        local->setText("before");
        QString filter;
        std::optional<QString> answer = QStringLiteral("/dados/lumexbd.gdb");
        window.SetOpenFileDialog([&](QWidget*, const QString& f) {
            filter = f;
            return answer;
        });
        auto* browse = Find<QAction>(window, "lfoLocalBrowse");
        browse->trigger();
        QCOMPARE(filter, QStringLiteral("Arquivos de Dados (*.gdb *.idb *.fdb)"));
        QCOMPARE(local->text(), QStringLiteral("/dados/lumexbd.gdb"));
        answer.reset();  // cancelled
        browse->trigger();
        QCOMPARE(local->text(), QStringLiteral("/dados/lumexbd.gdb"));
    }

    void buttonsRunTheirActions() {
        TfrmMain window;
        // Atualiza on a file that is no database: the run ends at once, with
        // its error.
        QStringList boxes;
        window.SetMessageBoxHook([&](QMessageBox& box) {
            boxes << box.text();
            return QMessageBox::Ok;
        });
        Find<QLineEdit>(window, "lfoLocal")->setText(QCoreApplication::applicationFilePath());
        window.ActionListUpdate();
        Find<QPushButton>(window, "Button1")->click();
        QCOMPARE(boxes, QStringList{"Erro de acesso ao BD"});
        QVERIFY(!window.Run().FCancelRequested);
        window.Run().FRunState = TRunState::Staging;
        window.ActionListUpdate();
        Find<QPushButton>(window, "Button2")->click();
        QVERIFY(window.Run().FCancelRequested);
    }

    // The run's boxes: the title as caption, the icon and buttons of each
    // kind, Windows-1252 texts with "\r" line breaks shown as Unicode lines,
    // the engine's reason as detail text; the question answered by the hook.
    void messageBoxes_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("detail");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("result");
        const int none = QMessageBox::NoButton;
        QTest::newRow("error with its reason")
            << "error" << QByteArray("Tabela de CEP inexistente no BD.")
            << QByteArray("Table unknown\rTAB_CEP") << int(QMessageBox::Critical)
            << "Tabela de CEP inexistente no BD." << none << false;
        QTest::newRow("information")
            << "information" << QByteArray("\r\rTempo gasto: 00:00:01") << QByteArray()
            << int(QMessageBox::Information) << "\n\nTempo gasto: 00:00:01" << none << false;
        QTest::newRow("plain message")
            << "message" << QByteArray("Erro na atulaiza\xE7\xE3o da tabela de Munic\xEDpio.")
            << QByteArray("violation") << int(QMessageBox::NoIcon)
            << QString::fromUtf8("Erro na atulaização da tabela de Município.") << none << false;
        QTest::newRow("question, Yes")
            << "question"
            << QByteArray(
                   "Sobrep\xF5"
                   "e?")
            << QByteArray() << int(QMessageBox::Question) << QString::fromUtf8("Sobrepõe?")
            << int(QMessageBox::Yes) << true;
        QTest::newRow("question, No")
            << "question"
            << QByteArray(
                   "Sobrep\xF5"
                   "e?")
            << QByteArray() << int(QMessageBox::Question) << QString::fromUtf8("Sobrepõe?")
            << int(QMessageBox::No) << false;
    }
    void messageBoxes() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, detail);
        QFETCH(int, icon);
        QFETCH(QString, shown);
        QFETCH(int, answer);
        QFETCH(bool, result);
        TfrmMain window;
        int boxes = 0;
        window.SetMessageBoxHook([&](QMessageBox& box) -> QMessageBox::StandardButton {
            ++boxes;
            [&] {
                QCOMPARE(box.windowTitle(), QString::fromUtf8("Atualização da Tabela de CEP"));
                QCOMPARE(int(box.icon()), icon);
                QCOMPARE(box.text(), shown);
                QCOMPARE(box.detailedText(),
                         QString::fromLatin1(detail).replace(QLatin1Char('\r'), QLatin1Char('\n')));
                if (kind == "question") {
                    QCOMPARE(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
                    QCOMPARE(box.defaultButton(), box.button(QMessageBox::No));
                    QCOMPARE(box.escapeButton(), box.button(QMessageBox::No));
                    QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Sim"));
                    QCOMPARE(box.button(QMessageBox::No)->text(), QString::fromUtf8("&Não"));
                } else {
                    QCOMPARE(box.standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
                }
            }();
            return answer == QMessageBox::NoButton
                       ? QMessageBox::Ok
                       : static_cast<QMessageBox::StandardButton>(answer);
        });
        const std::string t = text.toStdString(), d = detail.toStdString();
        if (kind == "error")
            window.ShowError(t, d);
        else if (kind == "information")
            window.ShowInformation(t);
        else if (kind == "message")
            window.ShowMessage(t, d);
        else
            QCOMPARE(window.AskYesNo(t), result);
        QCOMPARE(boxes, 1);
    }

    // The final box of a run: its icon by the outcome, the error's reason
    // and the run's notes as detail text.
    void resultBox_data() {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("shownDetail");
        using O = cep::TRunOutcome;
        const QString applied =
            QString::fromLatin1("O banco de dados tem agora a vers\xE3o de dados do programa.");
        const QString unchanged = QString::fromLatin1("O banco de dados n\xE3o foi alterado.");
        QTest::newRow("completed")
            << int(O::Completed) << "" << QStringList{} << int(QMessageBox::Information) << "";
        QTest::newRow("completed, a late cancel")
            << int(O::Completed) << "" << QStringList{"O cancelamento chegou tarde."}
            << int(QMessageBox::Information) << "O cancelamento chegou tarde.\r" + applied;
        QTest::newRow("records refused")
            << int(O::CompletedRefused) << "" << QStringList{} << int(QMessageBox::Warning) << "";
        QTest::newRow("cancelled") << int(O::Cancelled) << "" << QStringList{}
                                   << int(QMessageBox::Information) << unchanged;
        QTest::newRow("error, reason and a note")
            << int(O::ProcessError) << "lock conflict" << QStringList{"indexes stay off"}
            << int(QMessageBox::Critical) << "lock conflict\rindexes stay off\r" + unchanged;
    }
    void resultBox() {
        QFETCH(int, outcome);
        QFETCH(QString, detail);
        QFETCH(QStringList, notes);
        QFETCH(int, icon);
        QFETCH(QString, shownDetail);
        cep::TRunResult result;
        result.outcome = static_cast<cep::TRunOutcome>(outcome);
        result.isError = result.outcome == cep::TRunOutcome::ProcessError;
        result.applied = result.outcome == cep::TRunOutcome::Completed ||
                         result.outcome == cep::TRunOutcome::CompletedRefused;
        result.message = result.isError ? "Erro no processo" : "\r\rTempo gasto: 00:00:01";
        result.detail = detail.toStdString();
        for (const QString& note : notes)
            result.notes.push_back(note.toStdString());
        const cep::TResultBox box = cep::ResultBoxOf(result);
        QCOMPARE(int(box.icon), icon);
        QCOMPARE(box.text, result.message);
        QCOMPARE(QString::fromLatin1(box.detail.c_str()), shownDetail);
    }

    void closingRequestsCancel() {
        TfrmMain window;
        window.show();
        QVERIFY(window.close());
        QVERIFY(window.Run().FCancelRequested);
    }

  private:
    QTemporaryDir config;
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
