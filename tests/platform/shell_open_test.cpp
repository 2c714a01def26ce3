// Opening links on the desktop, with a stand-in xdg-open first on PATH that
// records its arguments and working folder.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "shell_open.h"

class ShellOpenTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(bin_.isValid() && programFolder_.isValid());
        record_ = bin_.filePath("record");
        QFile opener(bin_.filePath("xdg-open"));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        // One line for the folder, then each argument ended by a NUL byte.
        opener.write("#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } > \"" +
                     record_.toUtf8() + ".tmp\" && mv \"" + record_.toUtf8() + ".tmp\" \"" +
                     record_.toUtf8() + "\"\n");
        opener.close();
        opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin_.path().toUtf8() + ":" + qgetenv("PATH"));
    }

    void TheTargetArrivesAsOneUntouchedArgument_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("url") << QStringLiteral("http://127.0.0.1:8080/wap?a=1&b=2#top");
        QTest::newRow("path with spaces and Chinese")
            << QStringLiteral("/tmp/程序 文件夹/help/help.htm");
        QTest::newRow("shell metacharacters")
            << QStringLiteral("a'b\"c; touch /tmp/tessaly-pwned `id` $(id) | x > y & *");
    }

    void TheTargetArrivesAsOneUntouchedArgument() {
        QFETCH(QString, target);
        QCOMPARE(OpenedArgument(target), target);
    }

    void ABareWebAddressOpensAsAWebPage() {
        QCOMPARE(OpenedArgument(QStringLiteral("www.tessaly.example")),
                 QStringLiteral("http://www.tessaly.example"));
    }

    void AMissingOpenerIsSwallowed() {
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/nonexistent");
        QFile::remove(record_);
        tessaly::DesktopShell shell(programFolder_.path());
        QVERIFY_THROWS_NO_EXCEPTION(shell.ShellOpen(nullptr, QStringLiteral("http://127.0.0.1/")));
        qputenv("PATH", path);
        // The failure left nothing behind: the next open works.
        QCOMPARE(OpenedArgument(QStringLiteral("http://127.0.0.1/b")),
                 QStringLiteral("http://127.0.0.1/b"));
    }

private:
    // Opens `target` and returns the one argument the opener received.
    QString OpenedArgument(const QString& target) {
        QFile::remove(record_);
        tessaly::DesktopShell shell(programFolder_.path());
        shell.ShellOpen(nullptr, target);
        if (!QTest::qWaitFor([&] { return QFile::exists(record_); }, 10000)) {
            return QStringLiteral("<the opener was not started>");
        }

        QFile record(record_);
        if (!record.open(QIODevice::ReadOnly)) {
            return QStringLiteral("<the opener was not started>");
        }
        const QByteArray content = record.readAll();
        const int newline = content.indexOf('\n');
        [&] {
            QCOMPARE(QDir(QString::fromUtf8(content.left(newline))).canonicalPath(),
                     QDir(programFolder_.path()).canonicalPath());
        }();
        const QList<QByteArray> arguments = content.mid(newline + 1).split('\0');
        [&] { QCOMPARE(arguments.size(), 2); }();  // one argument, then what follows its NUL
        [] { QVERIFY(!QFile::exists("/tmp/tessaly-pwned")); }();
        return QString::fromUtf8(arguments.value(0));
    }

    QTemporaryDir bin_;
    QTemporaryDir programFolder_;
    QString record_;
};

QTEST_GUILESS_MAIN(ShellOpenTest)
#include "shell_open_test.moc"
