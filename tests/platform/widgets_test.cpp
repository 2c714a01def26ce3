// The skinned button and the experience bar, as a user and a screen reader
// meet them, and the user's actions as the browser view tells them.

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "experience_bar.h"
#include "skin_button.h"
#include "user_activation.h"

using tessaly::ExperienceBar;
using tessaly::SkinButton;

namespace {

// Rows of the widget's picture that hold any pixel of the given colour,
// grouped into runs: one run per line of text.
int TextLineCount(QWidget& widget, const QColor& ink) {
    const QImage image = widget.grab().toImage();
    int runs = 0;
    bool inRun = false;
    for (int y = 0; y < image.height(); ++y) {
        bool inked = false;
        for (int x = 0; x < image.width() && !inked; ++x) {
            const QColor c = image.pixelColor(x, y);
            inked = std::abs(c.red() - ink.red()) < 60 && c.green() < 90 && c.blue() < 90;
        }
        runs += (inked && !inRun) ? 1 : 0;
        inRun = inked;
    }
    return runs;
}

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void AKeyHeldDownIsOneActionOfTheUser() {
        QWidget view;
        QWidget inner(&view);  // the engine draws the page in a widget of its own
        tessaly::UserActivation activation(&view);
        const auto key = [&](bool press, bool repeat) {
            QTest::simulateEvent(&inner, press, Qt::Key_Return, {}, QStringLiteral("\r"), repeat);
        };
        key(true, false);
        QVERIFY(activation.Consume(true));
        key(true, true);
        key(true, true);
        QVERIFY(!activation.Consume(true));
        key(false, false);
        key(true, false);  // pressed again: a new action
        QVERIFY(activation.Consume(true));
    }

    void ADisabledButtonEmitsNoClick() {
        SkinButton button;
        button.resize(80, 30);
        button.show();
        QSignalSpy clicks(&button, &SkinButton::clicked);
        button.setEnabled(false);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 0);
        button.setEnabled(true);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
    }

    void ACarriageReturnBreaksTheCaptionIntoTwoLines() {
        SkinButton button;
        button.SetSkinStyle(0);
        button.SetBackColor(Qt::white);
        button.SetTextColor(QColor(255, 0, 0));
        QFont font = button.font();
        font.setPixelSize(14);
        button.setFont(font);
        button.resize(90, 50);

        button.SetCaption(QStringLiteral("更方便地\r下载游戏"));
        QCOMPARE(button.Caption(), QStringLiteral("更方便地\r下载游戏"));
        QCOMPARE(TextLineCount(button, QColor(255, 0, 0)), 2);
        button.SetCaption(QStringLiteral("更方便地"));
        QCOMPARE(TextLineCount(button, QColor(255, 0, 0)), 1);
    }

    void TheButtonIsAPushButtonToScreenReaders() {
        SkinButton button;
        button.SetCaption(QStringLiteral("首页"));
        button.setToolTip(QStringLiteral("返回默认首页!"));
        button.setEnabled(false);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::Button);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("首页"));
        QCOMPARE(accessible->text(QAccessible::Description), QStringLiteral("返回默认首页!"));
        QVERIFY(accessible->state().disabled);
    }

    void TheBarKeepsWhatItWasGivenAndDrawsItClamped() {
        ExperienceBar bar;
        bar.SetMinimum(1500.0F);
        bar.SetMaximum(3100.0F);
        bar.SetValue(2000.7F);
        QCOMPARE(bar.Minimum(), 1500.0F);
        QCOMPARE(bar.Maximum(), 3100.0F);
        QCOMPARE(bar.Value(), 2000.7F);
        QCOMPARE(bar.FilledFraction(), (2000.7F - 1500.0) / 1600.0);

        bar.SetValue(1000000.0F);  // past the maximum: full, value kept
        QCOMPARE(bar.FilledFraction(), 1.0);
        QCOMPARE(bar.Value(), 1000000.0F);
        bar.SetMaximum(0.0F);  // maximum below the minimum: empty, not refused
        QCOMPARE(bar.FilledFraction(), 0.0);
        QCOMPARE(bar.Maximum(), 0.0F);
    }

    void TheBarIsAProgressBarToScreenReaders() {
        ExperienceBar bar;
        bar.SetMinimum(100.0F);
        bar.SetMaximum(200.0F);
        bar.SetValue(150.0F);
        bar.setToolTip(QStringLiteral("经验值:150/200    50%"));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&bar);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::ProgressBar);
        QCOMPARE(accessible->text(QAccessible::Description), bar.toolTip());
        QAccessibleValueInterface* value = accessible->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->currentValue().toFloat(), 150.0F);
        QCOMPARE(value->minimumValue().toFloat(), 100.0F);
        QCOMPARE(value->maximumValue().toFloat(), 200.0F);
    }
};

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
