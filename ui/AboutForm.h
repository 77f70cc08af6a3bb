#pragma once

#include <QDialog>

class QLabel;
class QTimer;
class QWidget;

namespace cep {

class TMVXFileVersion;
class TFormShadow;

/// The About box: a small borderless window with the program's title, its
/// version, what it is for and a copyright line. Created hidden, shown
/// modally (exec), it closes after ten seconds or on a press of any mouse
/// button anywhere on it, and is hidden, not destroyed, so every showing
/// reuses it. Its components carry their names as object names; tests
/// shorten the interval of "Timer1".
class TAboutBox : public QDialog {
    Q_OBJECT

  public:
    /// `version` is the main window's version component; the version label
    /// takes its FileVersion once, here.
    explicit TAboutBox(const TMVXFileVersion& version, QWidget* parent = nullptr);
    ~TAboutBox() override;

    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void FormClick();
    void Shape1MouseDown();
    void FormCreate(const TMVXFileVersion& version);
    void FormShow();
    void Timer1Timer();
    void FormClose();

    TFormShadow* LMDFormShadow1 = nullptr;
    QWidget* Shape1 = nullptr;
    QLabel* lblTexto1 = nullptr;
    QLabel* lblTitulo = nullptr;
    QLabel* lblSubTitulo1 = nullptr;
    QWidget* shpLinha = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* lblVersao = nullptr;
    QLabel* lblCopyright = nullptr;
    QTimer* Timer1 = nullptr;
};

}  // namespace cep
