// Looking up a window's controls by name: a right lookup gives the control, a
// wrong name or type ends the program at once with a message naming the
// control, in every build type. Each wrong lookup runs in a child process
// (this program started again with --lookup CASE), as it must not return.

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <functional>
#include <map>

#include "click_label.h"
#include "control_layout.h"
#include "experience_bar.h"
#include "skin_button.h"

using namespace tessaly;

namespace {

constexpr ControlSpec Layout[] = {
    {.name = "Frame1", .kind = ControlKind::Frame, .width = 3000, .height = 3000},
    {.name = "sta", .kind = ControlKind::Label, .parent = "Frame1", .text = "ready"},
    {.name = "ok", .kind = ControlKind::Button, .width = 900, .height = 300},
    {.name = "exp", .kind = ControlKind::ProgressBar, .width = 900, .height = 300},
};

constexpr ControlSpec OrphanLayout[] = {
    {.name = "sta", .kind = ControlKind::Label, .parent = "Frame9"},
};

// The Lookups a child process makes, by case name. Each should end the program.
const std::map<QString, std::function<void(QWidget*)>>& WrongLookups() {
    static const std::map<QString, std::function<void(QWidget*)>> Lookups = {
        {"type", [](QWidget* form) { BuildControls(form, Layout).Get<SkinButton>("sta"); }},
        {"name", [](QWidget* form) { BuildControls(form, Layout).Get<QLabel>("stb"); }},
        {"index", [](QWidget* form) { BuildControls(form, Layout)["nope"]; }},
        {"parent", [](QWidget* form) { BuildControls(form, OrphanLayout); }},
    };
    return Lookups;
}

}  // namespace

class ControlLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void RightLookupsGiveTheControl() {
        QWidget form;
        const Controls controls = BuildControls(&form, Layout);
        QCOMPARE(controls.Get<QLabel>("sta")->text(), QStringLiteral("ready"));
        QCOMPARE(controls.Get<ClickLabel>("sta"), controls["sta"]);
        QCOMPARE(controls.Get<QWidget>("sta")->parentWidget(), controls["Frame1"]);
        QCOMPARE(controls.Get<SkinButton>("ok"), controls["ok"]);
        QCOMPARE(controls.Get<ExperienceBar>("exp"), controls["exp"]);
        QCOMPARE(controls.Find("exp"), controls["exp"]);
        QCOMPARE(controls.Find("stb"), nullptr);
        // Twips become the nearest pixel (15 to a pixel), not the one below.
        const QList<QPair<int, int>> twips = {{0, 0},  {7, 0},  {8, 1},     {15, 1},
                                              {22, 1}, {23, 2}, {5820, 388}};
        for (const auto& [given, pixels] : twips) {
            QCOMPARE(TwipsToPixels(given), pixels);
        }
    }

    void WrongLookupsEndTheProgram_data() {
        QTest::addColumn<QString>("lookup");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong type")
            << "type"
            << R"(Control "sta" is a tessaly::ClickLabel, not a tessaly::SkinButton)";
        QTest::newRow("wrong name, typed") << "name"
                                           << R"(No control named "stb" in this window)";
        QTest::newRow("wrong name") << "index"
                                    << R"(No control named "nope" in this window)";
        QTest::newRow("parent not in the table") << "parent"
                                                 << R"(No control named "Frame9" in this window)";
    }
    void WrongLookupsEndTheProgram() {
        QFETCH(QString, lookup);
        QFETCH(QString, message);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--lookup", lookup});
        QVERIFY(child.waitForFinished(30000));
        const QString output = QString::fromUtf8(child.readAllStandardError());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY2(output.contains(message), qPrintable(output));
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc == 3 && QString::fromLatin1(argv[1]) == "--lookup") {
        QWidget form;
        WrongLookups().at(QString::fromLatin1(argv[2]))(&form);
        return 0;  // the lookup came back: the parent reports it
    }
    ControlLayoutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "control_layout_test.moc"
