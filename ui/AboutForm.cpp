#include "ui/AboutForm.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "ui/MVXFileVersion.h"
#include "ui/ProgramIcon.h"

namespace cep {

namespace {

constexpr int kClientWidth = 304, kClientHeight = 201;
constexpr int kCloseAfterMs = 10000;

/// A rectangle shape over the whole client area: only its one-pixel black
/// outline shows (its white fill, masked, leaves the content beneath as it
/// is), and it takes every mouse press.
class TShapeFrame : public QWidget {
  public:
    TShapeFrame(QWidget* parent, std::function<void()> onMouseDown)
        : QWidget(parent), onMouseDown_(std::move(onMouseDown)) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    void mousePressEvent(QMouseEvent* event) override {
        event->accept();
        onMouseDown_();
    }

  private:
    std::function<void()> onMouseDown_;
};

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int points, bool bold,
                  const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QFont font = parent->font();
    font.setPointSize(points);
    font.setBold(bold);
    label->setFont(font);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

/// A drop shadow along the right and bottom edges of a window, drawn in two
/// borderless windows of its own that follow it. It needs no compositor: each
/// shadow window shows what the screen had beneath it, darkened (grey where
/// the screen cannot be read).
class TFormShadow : public QObject {
  public:
    static constexpr int kDepth = 6;

    explicit TFormShadow(QWidget* form) : QObject(form), form_(form) {
        setObjectName(QStringLiteral("LMDFormShadow1"));
        right_ = MakeStrip(QStringLiteral("LMDFormShadow1Right"));
        bottom_ = MakeStrip(QStringLiteral("LMDFormShadow1Bottom"));
        form->installEventFilter(this);
    }
    ~TFormShadow() override {
        delete right_;
        delete bottom_;
    }

    /// Where the two windows go for the form's current place.
    QRect RightRect() const {
        const QRect g = form_->frameGeometry();
        return {g.right() + 1, g.top() + kDepth, kDepth, g.height()};
    }
    QRect BottomRect() const {
        const QRect g = form_->frameGeometry();
        return {g.left() + kDepth, g.bottom() + 1, g.width() - kDepth, kDepth};
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == form_) {
            switch (event->type()) {
                case QEvent::Show:
                case QEvent::Move:
                case QEvent::Resize:
                    if (form_->isVisible())
                        Follow();
                    break;
                case QEvent::Hide:
                    right_->hide();
                    bottom_->hide();
                    break;
                default:
                    break;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    class TStrip : public QWidget {
      public:
        using QWidget::QWidget;
        QPixmap beneath;

      protected:
        void paintEvent(QPaintEvent*) override {
            QPainter painter(this);
            if (beneath.isNull()) {
                painter.fillRect(rect(), QColor(128, 128, 128));
            } else {
                painter.drawPixmap(0, 0, beneath);
                painter.fillRect(rect(), QColor(0, 0, 0, 110));
            }
        }
    };

    TStrip* MakeStrip(const QString& name) {
        // Parented to the form so the strips stay above what the form is
        // above; they take no focus and no input.
        auto* strip =
            new TStrip(form_, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                                  Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint);
        strip->setObjectName(name);
        strip->setAttribute(Qt::WA_ShowWithoutActivating);
        return strip;
    }

    void Follow() {
        right_->hide();
        bottom_->hide();
        Place(right_, RightRect());
        Place(bottom_, BottomRect());
    }

    void Place(TStrip* strip, const QRect& where) {
        QScreen* screen = form_->screen();
        strip->beneath = screen ? screen->grabWindow(0, where.x() - screen->geometry().x(),
                                                     where.y() - screen->geometry().y(),
                                                     where.width(), where.height())
                                : QPixmap();
        strip->setGeometry(where);
        strip->show();
    }

    QWidget* form_;
    TStrip* right_;
    TStrip* bottom_;
};

TAboutBox::TAboutBox(const TMVXFileVersion& version, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    setFixedSize(kClientWidth, kClientHeight);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setWindowIcon(ProgramIcon());

    LMDFormShadow1 = new TFormShadow(this);
    lblTexto1 = MakeLabel(this, "lblTexto1",
                          QString::fromUtf8("Este aplicativo tem como objetivo, a atualização da "
                                            "tabela de CEP dos Sistemas LUMEX, VORTAN e "
                                            "QUELMARPREF."),
                          10, false, QRect(8, 82, 288, 71));
    lblTexto1->setWordWrap(true);
    lblTexto1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblTitulo = MakeLabel(this, "lblTitulo", QString::fromUtf8("Atualização da Tabela de CEP"), 12,
                          true, QRect(48, 10, 250, 20));
    lblSubTitulo1 =
        MakeLabel(this, "lblSubTitulo1", QStringLiteral("Sobre:"), 10, true, QRect(8, 62, 100, 17));
    shpLinha = new QWidget(this);
    shpLinha->setObjectName(QStringLiteral("shpLinha"));
    shpLinha->setGeometry(8, 54, 289, 1);
    QPalette black = shpLinha->palette();
    black.setColor(QPalette::Window, Qt::black);
    shpLinha->setPalette(black);
    shpLinha->setAutoFillBackground(true);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 32, 32);
    Image1->setPixmap(ProgramIcon().pixmap(32, 32));
    lblVersao =
        MakeLabel(this, "lblVersao", QString::fromUtf8("Versão"), 10, true, QRect(48, 31, 248, 17));
    lblVersao->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCopyright = MakeLabel(this, "lblCopyright", QString::fromUtf8("Copyright © 2026 Morvalex"),
                             8, true, QRect(8, 178, 288, 15));
    // Painted last, so it lies over everything and gets every press.
    Shape1 = new TShapeFrame(this, [this] { Shape1MouseDown(); });
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(0, 0, kClientWidth, kClientHeight);
    Shape1->raise();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kCloseAfterMs);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    FormCreate(version);
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::FormCreate(const TMVXFileVersion& version) {
    lblVersao->setText(QStringLiteral("v") + version.FileVersion());
}

void TAboutBox::showEvent(QShowEvent* event) {
    // Centred on the screen at each showing.
    if (QScreen* screen = this->screen()) {
        QRect place = frameGeometry();
        place.moveCenter(screen->availableGeometry().center());
        move(place.topLeft());
    }
    QDialog::showEvent(event);
    FormShow();
}

void TAboutBox::FormShow() {
    Timer1->start();  // ten seconds from now, at each showing
}

void TAboutBox::Timer1Timer() {
    close();
}

void TAboutBox::Shape1MouseDown() {
    close();
}

void TAboutBox::mousePressEvent(QMouseEvent* event) {
    event->accept();
    FormClick();
}

void TAboutBox::FormClick() {
    close();
}

// Every way of closing (the timer, a press, Escape, the window manager) ends
// the modal showing here, with the cancel result.
void TAboutBox::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TAboutBox::FormClose() {
    Timer1->stop();
}

}  // namespace cep
