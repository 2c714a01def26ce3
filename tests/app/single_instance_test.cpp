#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "single_instance.h"

namespace tessaly {

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void LaterCopiesCallTheFirstForwardUntilItEnds();
    void EachProgramFolderHasItsOwnFirstCopy();
    void WithoutADataFolderNothingIsLockedOrCreated();
    void ALockFileThatCannotBeOpenedStillLetsOneCopyRun_data();
    void ALockFileThatCannotBeOpenedStillLetsOneCopyRun();
};

namespace {

QString ProgramFolderWithData(const QTemporaryDir& dir, const QString& name) {
    const QString folder = dir.filePath(name);
    QDir().mkpath(folder + QStringLiteral("/Data"));
    return folder;
}

}  // namespace

void SingleInstanceTest::LaterCopiesCallTheFirstForwardUntilItEnds() {
    QTemporaryDir dir;
    const QString folder = ProgramFolderWithData(dir, QStringLiteral("程序"));
    auto first = std::make_unique<SingleInstance>(folder);
    QVERIFY(!first->AnotherCopyRuns());
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Data/Tessaly.lock")));
    QSignalSpy calls(first.get(), &SingleInstance::BringForwardRequested);

    for (int copy = 1; copy <= 2; ++copy) {
        const SingleInstance later(folder);
        QVERIFY(later.AnotherCopyRuns());
        QTRY_COMPARE_WITH_TIMEOUT(calls.count(), copy, 5000);
    }

    // Once the first copy ends, the next start is a first copy again, even
    // though the first one's socket name was used before.
    first.reset();
    const SingleInstance next(folder);
    QVERIFY(!next.AnotherCopyRuns());
    QSignalSpy nextCalls(&next, &SingleInstance::BringForwardRequested);
    QVERIFY(SingleInstance(folder).AnotherCopyRuns());
    QTRY_COMPARE_WITH_TIMEOUT(nextCalls.count(), 1, 5000);
}

void SingleInstanceTest::EachProgramFolderHasItsOwnFirstCopy() {
    QTemporaryDir dir;
    const SingleInstance a(ProgramFolderWithData(dir, QStringLiteral("a")));
    const SingleInstance b(ProgramFolderWithData(dir, QStringLiteral("b")));
    QVERIFY(!a.AnotherCopyRuns());
    QVERIFY(!b.AnotherCopyRuns());
    QVERIFY(SingleInstance::ServerName(dir.filePath(QStringLiteral("a"))) !=
            SingleInstance::ServerName(dir.filePath(QStringLiteral("b"))));
}

void SingleInstanceTest::WithoutADataFolderNothingIsLockedOrCreated() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("bare"));
    QDir().mkpath(folder);
    const SingleInstance first(folder);
    const SingleInstance second(folder);
    QVERIFY(!first.AnotherCopyRuns());
    QVERIFY(!second.AnotherCopyRuns());
    QVERIFY(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

namespace {

enum Damage { FolderInPlace, LinkInPlace, FifoInPlace, NoPermission, ReadOnlyData };

// Leaves Data/Tessaly.lock impossible to open for writing.
bool Spoil(const QString& data, Damage damage) {
    const QString lock = data + QStringLiteral("/Tessaly.lock");
    switch (damage) {
        case FolderInPlace:
            return QDir().mkdir(lock);
        case LinkInPlace:
            return QFile::link(data + QStringLiteral("/elsewhere"), lock);
        case FifoInPlace:
            return ::mkfifo(QFile::encodeName(lock).constData(), 0600) == 0;
        case NoPermission: {
            QFile file(lock);
            return file.open(QIODevice::WriteOnly) && file.setPermissions(QFile::ReadOwner);
        }
        case ReadOnlyData:
            return QFile::setPermissions(data, QFile::ReadOwner | QFile::ExeOwner);
    }
    return false;
}

}  // namespace

void SingleInstanceTest::ALockFileThatCannotBeOpenedStillLetsOneCopyRun_data() {
    QTest::addColumn<int>("damage");
    QTest::newRow("folder") << int(FolderInPlace);
    QTest::newRow("link") << int(LinkInPlace);
    QTest::newRow("fifo") << int(FifoInPlace);
    // Permissions hold back every user but the superuser.
    if (::geteuid() != 0) {
        QTest::newRow("no permission") << int(NoPermission);
        QTest::newRow("read-only Data") << int(ReadOnlyData);
    }
}

void SingleInstanceTest::ALockFileThatCannotBeOpenedStillLetsOneCopyRun() {
    QFETCH(int, damage);
    QTemporaryDir dir;
    const QString folder = ProgramFolderWithData(dir, QStringLiteral("程序"));
    const QString data = folder + QStringLiteral("/Data");
    QVERIFY(Spoil(data, Damage(damage)));

    auto first = std::make_unique<SingleInstance>(folder);
    QVERIFY(!first->AnotherCopyRuns());
    QSignalSpy calls(first.get(), &SingleInstance::BringForwardRequested);
    QVERIFY(SingleInstance(folder).AnotherCopyRuns());
    QTRY_COMPARE_WITH_TIMEOUT(calls.count(), 1, 5000);

    // Repaired while the first copy runs: a later copy takes the lock file
    // and still finds the first copy.
    QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(data + QStringLiteral("/Tessaly.lock"),
                          QFile::ReadOwner | QFile::WriteOwner);
    QDir().rmdir(data + QStringLiteral("/Tessaly.lock"));
    QFile::remove(data + QStringLiteral("/Tessaly.lock"));
    QVERIFY(SingleInstance(folder).AnotherCopyRuns());
    QTRY_COMPARE_WITH_TIMEOUT(calls.count(), 2, 5000);

    first.reset();
    QVERIFY(!SingleInstance(folder).AnotherCopyRuns());
}

}  // namespace tessaly

QTEST_GUILESS_MAIN(tessaly::SingleInstanceTest)
#include "single_instance_test.moc"
