// The armies' document without windows: what it tells of each edit, when it
// counts as changed, and what its recovery file holds.

#include "document/Document.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "HandKind.h"
#include "files/ArmyFile.h"

using handkind::kind;

namespace {
QByteArray fileOf(const Players& players) {
    return QByteArray::fromStdString(armyfile::ToJson(armyfile::SetupOf(players)));
}
QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}  // namespace

class DocumentTest : public QObject {
    Q_OBJECT

private slots:
    // Changed means different from what was last opened or saved, by value:
    // an edit taken back is no change, and the recovery file follows.
    void changedIsADifferenceOfValue() {
        QTemporaryDir dir;
        Document document(dir.path());
        const QString recovery = document.recovery().path();
        QVERIFY(!document.isModified());

        QCOMPARE(document.addKind(1, kind("Archers", "R", 1, 0, 2, 1, 1), 20), Army::AddResult::Added);
        QVERIFY(document.isModified());
        QCOMPARE(readFile(recovery), fileOf(document.players()));

        QVERIFY(document.modifyKind(1, 0, valuesOf(document.army(1).unittypes[0]), 21));
        QCOMPARE(readFile(recovery), fileOf(document.players()));
        QVERIFY(document.removeKind(1, 0));
        QVERIFY2(!document.isModified(), "armies as they were at the start count as changed");
        QVERIFY(!QFile::exists(recovery));

        QCOMPARE(document.addKind(2, kind("Knights", "M", 4, 4, 0, 1, 2), 30), Army::AddResult::Added);
        document.markSaved(dir.filePath("armies.json"));
        QVERIFY(!document.isModified());
        QVERIFY2(!QFile::exists(recovery), "saved armies are left in the recovery file");
        QCOMPARE(document.filePath(), dir.filePath("armies.json"));
    }

    // Each edit is told once, with what it changed; a refused one not at all.
    void eachEditIsToldOnce() {
        QTemporaryDir dir;
        Document document(dir.path());
        QSignalSpy told(&document, &Document::changed);
        document.addKind(2, kind("Knights", "M", 4, 4, 0, 1, 2), 30);
        document.addKind(2, kind("Rats", "F", 1, 0, 0, 1, 1), 5);
        QCOMPARE(told.count(), 2);
        QCOMPARE(told.last().at(0).value<ArmiesChange>().kind, 1);
        QVERIFY(!document.modifyKind(2, 1, valuesOf(document.army(2).unittypes[1]), 0));
        QVERIFY(!document.removeKind(2, 5));
        QCOMPARE(told.count(), 2);

        QVERIFY(document.removeKind(2, 0));
        const auto removed = told.last().at(0).value<ArmiesChange>();
        QCOMPARE(removed.what, ArmiesChange::KindRemoved);
        QCOMPARE(removed.lastKind, 1);

        told.clear();
        const Players::InfoWritten written = document.changeInfo({{std::string("2"), std::string("1")}, {}});
        QVERIFY(!written.refused);
        QCOMPARE(told.count(), 2);
        QCOMPARE(document.player(1).number, std::string("2"));
    }

    // A recovery file that cannot be written is said once, not at every
    // change, and again only after a write has worked in between.
    void aFailingRecoveryIsSaidOnce() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Document document(dir.filePath("blocked/recovery"));
        QSignalSpy failed(&document, &Document::recoveryFailed);
        document.addKind(1, kind("Archers", "R", 1, 0, 2, 1, 1), 20);
        document.addKind(1, kind("Knights", "M", 4, 4, 0, 1, 2), 10);
        QCOMPARE(failed.count(), 1);
        QVERIFY(!failed.first().at(0).toString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(DocumentTest)
#include "document_test.moc"
