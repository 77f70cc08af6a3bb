// The About box on its real widgets, headless: what it shows, and that it
// closes by itself after its interval (counted afresh at each showing) or at
// once on a press of any button anywhere.

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "ui/AboutForm.h"
#include "ui/MVXFileVersion.h"

using cep::TAboutBox;
using cep::TMVXFileVersion;

namespace {

/// Runs `during` once the box is shown modally, and shows it; a box still
/// open after `limitMs` is closed with the result 99, so no test blocks.
int ShowModal(TAboutBox& box, std::function<void()> during = {}, int limitMs = 5000) {
    if (during)
        QTimer::singleShot(0, &box, during);
    QTimer::singleShot(limitMs, &box, [&box] {
        if (box.isVisible())
            box.done(99);
    });
    return box.exec();
}

}  // namespace

class TestAboutForm : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { own.SetFileName(QCoreApplication::applicationFilePath()); }

    void showsTitleVersionAndText() {
        TAboutBox box(own);
        QCOMPARE(box.size(), QSize(304, 201));
        QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(box.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(!box.isVisible());
        struct Label {
            const char* name;
            QString text;
            int points;
            bool bold;
        } labels[] = {
            {"lblTitulo", QString::fromUtf8("Atualização da Tabela de CEP"), 12, true},
            {"lblSubTitulo1", "Sobre:", 10, true},
            {"lblTexto1",
             QString::fromUtf8("Este aplicativo tem como objetivo, a atualização da tabela de "
                               "CEP dos Sistemas LUMEX, VORTAN e QUELMARPREF."),
             10, false},
            {"lblVersao", "v1.2.0.1", 10, true},
            {"lblCopyright", QString::fromUtf8("Copyright © 2026 Morvalex"), 8, true},
        };
        for (const Label& l : labels) {
            auto* label = box.findChild<QLabel*>(l.name);
            QVERIFY2(label, l.name);
            QCOMPARE(label->text(), l.text);
            QCOMPARE(label->font().pointSize(), l.points);
            QCOMPARE(label->font().bold(), l.bold);
            QCOMPARE(QFontInfo(label->font()).family(), QStringLiteral("Liberation Sans"));
        }
        auto* text = box.findChild<QLabel*>("lblTexto1");
        QCOMPARE(text->size(), QSize(288, 71));
        QVERIFY(text->wordWrap());
        QVERIFY(box.findChild<QLabel*>("lblVersao")->alignment() & Qt::AlignRight);
        QCOMPARE(box.findChild<QWidget*>("shpLinha")->size(), QSize(289, 1));
        auto* image = box.findChild<QLabel*>("Image1");
        QCOMPARE(image->size(), QSize(32, 32));
        QCOMPARE(image->pixmap().size(), QSize(32, 32));
        QCOMPARE(box.findChild<QWidget*>("Shape1")->geometry(), box.rect());
        QCOMPARE(box.findChild<QTimer*>("Timer1")->interval(), 10000);
    }

    void versionIsTakenOnceAtCreation() {
        TMVXFileVersion version;
        version.SetFileName(QStringLiteral("/bin/true"));  // no version information
        TAboutBox bare(version);
        QCOMPARE(bare.findChild<QLabel*>("lblVersao")->text(), QStringLiteral("v"));
        version.SetFileName(QCoreApplication::applicationFilePath());
        QCOMPARE(bare.findChild<QLabel*>("lblVersao")->text(), QStringLiteral("v"));
    }

    void closesByItselfAtEachShowing() {
        TAboutBox box(own);
        auto* timer = box.findChild<QTimer*>("Timer1");
        timer->setInterval(400);
        QVERIFY(!timer->isActive());

        // A coarse timer may fire up to 5 % early, and the clock reads whole
        // milliseconds.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ShowModal(box), int(QDialog::Rejected));
        QVERIFY(clock.elapsed() >= 360);
        QVERIFY(clock.elapsed() < 4000);
        QVERIFY(!box.isVisible());
        QVERIFY(!timer->isActive());

        // Closed early by a press, then shown again: the new showing gets
        // the whole interval, not what was left of the first.
        ShowModal(box, [&] {
            QTest::qWait(250);
            QTest::mousePress(box.findChild<QWidget*>("Shape1"), Qt::LeftButton);
        });
        QVERIFY(!timer->isActive());
        clock.restart();
        QCOMPARE(ShowModal(box), int(QDialog::Rejected));
        QVERIFY(clock.elapsed() >= 360);
    }

    void closesOnAnyPressAnywhere() {
        TAboutBox box(own);  // ten seconds: a press must close it long before
        const QPoint places[] = {{0, 0}, {152, 100}, {20, 20}, {100, 15}, {60, 54}, {300, 197}};
        const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
        for (const QPoint& place : places) {
            for (Qt::MouseButton button : buttons) {
                QElapsedTimer clock;
                clock.start();
                const int result = ShowModal(box, [&] {
                    QWidget* target = box.childAt(place);
                    QVERIFY(target);
                    QCOMPARE(target->objectName(), QStringLiteral("Shape1"));
                    QTest::mousePress(target, button, {}, target->mapFrom(&box, place));
                });
                QCOMPARE(result, int(QDialog::Rejected));
                QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(button)));
                QVERIFY(!box.isVisible());
            }
        }
    }

    void shadowFollowsTheBox() {
        TAboutBox box(own);
        auto* shadow = box.findChild<QObject*>("LMDFormShadow1");
        QVERIFY(shadow);
        auto* right = box.findChild<QWidget*>("LMDFormShadow1Right");
        auto* bottom = box.findChild<QWidget*>("LMDFormShadow1Bottom");
        QVERIFY(right && bottom);
        ShowModal(box, [&] {
            QTRY_VERIFY(right->isVisible() && bottom->isVisible());
            QVERIFY(right->isWindow() && bottom->isWindow());
            const QRect g = box.frameGeometry();
            QCOMPARE(right->geometry(), QRect(g.right() + 1, g.top() + 6, 6, g.height()));
            QCOMPARE(bottom->geometry(), QRect(g.left() + 6, g.bottom() + 1, g.width() - 6, 6));
            box.move(box.pos() + QPoint(20, 10));
            QTRY_COMPARE(right->geometry().topLeft(),
                         box.frameGeometry().topRight() + QPoint(1, 6));
            box.close();
        });
        QVERIFY(!right->isVisible() && !bottom->isVisible());
    }

  private:
    TMVXFileVersion own;
};

QTEST_MAIN(TestAboutForm)
#include "test_aboutform.moc"
