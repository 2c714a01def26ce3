// The Open dialog: what a typed address becomes, and the list of addresses
// typed before, kept only where a Data folder already exists.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include "frmOpen.h"
#include "open_address.h"

using tessaly::AddressToOpen;
using tessaly::frmOpen;

class OpenDialogTest : public QObject {
    Q_OBJECT

private slots:
    void TypedTextBecomesAnAddress() {
        QCOMPARE(AddressToOpen("wap.example.com"), QStringLiteral("http://wap.example.com/"));
        QCOMPARE(AddressToOpen("  wap.example.com:8080/a.wml "),
                 QStringLiteral("http://wap.example.com:8080/a.wml"));
        QCOMPARE(AddressToOpen("https://secure.example"),
                 QStringLiteral("https://secure.example/"));
        QCOMPARE(AddressToOpen("tessaly://start/index.html"),
                 QStringLiteral("tessaly://start/index.html"));
        QTemporaryDir folder;
        const QString deck = folder.filePath("本地.wml");
        QFile file(deck);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(AddressToOpen(deck), QUrl::fromLocalFile(deck).toString(QUrl::FullyEncoded));
        for (const char* refused : {"", "   ", "javascript:alert(1)", "data:text/html,x"}) {
            QVERIFY2(AddressToOpen(QString::fromUtf8(refused)).isEmpty(), refused);
        }
    }

    void ATypedHostNavigatesAndIsRemembered() {
        QTemporaryDir program;
        QVERIFY(QDir(program.path()).mkdir("Data"));
        QStringList visited;
        const auto navigate = [&](const QString& url) { visited << url; };

        frmOpen first(nullptr, program.path(), navigate);
        first.Form_Load();
        QCOMPARE(first.windowTitle(), QStringLiteral("打开"));
        QCOMPARE(first.AddressBox()->count(), 0);
        first.AddressBox()->setEditText("wap.example.com");
        first.findChild<QPushButton*>("qued")->click();
        QCOMPARE(visited, QStringList{"http://wap.example.com/"});
        QCOMPARE(first.result(), int(QDialog::Accepted));

        frmOpen second(nullptr, program.path(), navigate);
        second.Form_Load();
        second.AddressBox()->setEditText("wap.other.example/menu.wml");
        second.qued_Click();
        second.AddressBox()->setEditText("javascript:alert(1)");
        second.qued_Click();  // refused: nothing opened, nothing remembered

        frmOpen third(nullptr, program.path(), navigate);
        third.Form_Load();
        QStringList listed;
        for (int i = 0; i < third.AddressBox()->count(); ++i) {
            listed << third.AddressBox()->itemText(i);
        }
        QCOMPARE(listed, QStringList({"wap.other.example/menu.wml", "wap.example.com"}));
        QCOMPARE(visited.size(), 2);
        // An address typed again moves to the top, once.
        QCOMPARE(tessaly::TypedAddresses(program.path()).Remember("wap.example.com"),
                 QStringList({"wap.example.com", "wap.other.example/menu.wml"}));
        third.quxiao_Click();
        QCOMPARE(third.result(), int(QDialog::Rejected));
        QCOMPARE(visited.size(), 2);
    }

    void WithoutADataFolderNothingIsWritten() {
        QTemporaryDir program;
        QStringList visited;
        frmOpen dialog(nullptr, program.path(), [&](const QString& url) { visited << url; });
        dialog.Form_Load();
        dialog.AddressBox()->setEditText("wap.example.com");
        dialog.qued_Click();
        QCOMPARE(visited, QStringList{"http://wap.example.com/"});
        QCOMPARE(QDir(program.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

    void ADamagedListIsReadWithinBounds() {
        QTemporaryDir program;
        QVERIFY(QDir(program.path()).mkdir("Data"));
        const QString list = program.filePath("Data/Address.txt");
        const tessaly::TypedAddresses addresses(program.path());

        // A pipe in its place: read as no list, never waited on.
        QVERIFY(mkfifo(QFile::encodeName(list).constData(), 0600) == 0);
        QCOMPARE(addresses.Load(), QStringList());
        QVERIFY(QFile::remove(list));

        // A line far too long for an address is skipped, the rest is read.
        QFile file(list);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(100 * 1024, 'a') + "\nhttp://wap.example.com/\n");
        file.close();
        QCOMPARE(addresses.Load(), QStringList{"http://wap.example.com/"});
    }

    void BrowsingFillsInTheChosenFile() {
        QTemporaryDir program;
        const QString chosen = QDir(program.path()).filePath("deck.wml");
        frmOpen dialog(
            nullptr, program.path(), [](const QString&) {}, [&](QWidget*) { return chosen; });
        dialog.findChild<QPushButton*>("liulan")->click();
        QCOMPARE(dialog.AddressBox()->currentText(), QDir::toNativeSeparators(chosen));
    }
};

QTEST_MAIN(OpenDialogTest)
#include "open_dialog_test.moc"
