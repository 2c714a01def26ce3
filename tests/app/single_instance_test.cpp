#include <QDir>
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
    void laterCopiesCallTheFirstForwardUntilItEnds();
    void eachProgramFolderHasItsOwnFirstCopy();
    void withoutADataFolderNothingIsLockedOrCreated();
};

namespace {

QString ProgramFolderWithData(const QTemporaryDir& dir, const QString& name) {
    const QString folder = dir.filePath(name);
    QDir().mkpath(folder + QStringLiteral("/Data"));
    return folder;
}

}  // namespace

void SingleInstanceTest::laterCopiesCallTheFirstForwardUntilItEnds() {
    QTemporaryDir dir;
    const QString folder = ProgramFolderWithData(dir, QStringLiteral("程序"));
    auto first = std::make_unique<SingleInstance>(folder);
    QVERIFY(!first->AnotherCopyRuns());
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Data/Tessaly.lock")));
    QSignalSpy calls(first.get(), &SingleInstance::bringForwardRequested);

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
    QSignalSpy nextCalls(&next, &SingleInstance::bringForwardRequested);
    QVERIFY(SingleInstance(folder).AnotherCopyRuns());
    QTRY_COMPARE_WITH_TIMEOUT(nextCalls.count(), 1, 5000);
}

void SingleInstanceTest::eachProgramFolderHasItsOwnFirstCopy() {
    QTemporaryDir dir;
    const SingleInstance a(ProgramFolderWithData(dir, QStringLiteral("a")));
    const SingleInstance b(ProgramFolderWithData(dir, QStringLiteral("b")));
    QVERIFY(!a.AnotherCopyRuns());
    QVERIFY(!b.AnotherCopyRuns());
    QVERIFY(SingleInstance::ServerName(dir.filePath(QStringLiteral("a"))) !=
            SingleInstance::ServerName(dir.filePath(QStringLiteral("b"))));
}

void SingleInstanceTest::withoutADataFolderNothingIsLockedOrCreated() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("bare"));
    QDir().mkpath(folder);
    const SingleInstance first(folder);
    const SingleInstance second(folder);
    QVERIFY(!first.AnotherCopyRuns());
    QVERIFY(!second.AnotherCopyRuns());
    QVERIFY(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

}  // namespace tessaly

QTEST_GUILESS_MAIN(tessaly::SingleInstanceTest)
#include "single_instance_test.moc"
