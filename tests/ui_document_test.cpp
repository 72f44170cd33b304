// The armies as a document: a program killed after a change offers its armies
// back at the next start, and only then; closing or opening other armies asks
// about unsaved changes, and Save, Discard and Cancel each do what they say;
// recent files and dropped files open as "Open Armies..." does.

#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdio>

#include "UiTestSupport.h"
#include "files/ArmyFileIO.h"
#include "ui/Forceform.h"
#include "ui/Settings.h"

using namespace ui_test;

namespace {

// The armies, numbers and names as an army file holds them.
QByteArray state() {
    return QByteArray::fromStdString(armyfile::ToJson(armyfile::SetupOf(players())));
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Closes the main window as "Exit" does; answer is the button of the
// unsaved-changes question, if it is expected to show. Returns whether it showed.
bool exitAnswering(const QString& answer) {
    bool asked = false;
    if (!answer.isEmpty())
        whenModal(QStringLiteral("SaveChanges"), [&](QWidget* box) {
            asked = true;
            clickButton(box, answer);
        });
    Mainform->Exit1->trigger();
    QApplication::processEvents();
    return asked;
}

// Answers the named message box with a standard button when it shows; its
// text goes to *text.
void answerBox(const QString& name, QMessageBox::StandardButton button, QString* text = nullptr) {
    whenModal(name, [=](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        if (text)
            *text = box->text();
        box->button(button)->click();
    });
}

void dropOnMainWindow(const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at(300, 200);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Mainform, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Mainform, &drop);
    QVERIFY(drop.isAccepted());
}

}  // namespace

class DocumentTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // The tests close the main window and show it again.
        QApplication::setQuitOnLastWindowClosed(false);
        QCoreApplication::setApplicationVersion(QStringLiteral("9.8"));
    }

    // Not a test: the program that the next test kills. It enters armies by
    // hand, waits until they are in its recovery file and says so.
    void childEntersArmies() {
        if (qEnvironmentVariable("ORB_TEST_CHILD") != QLatin1String("recovery"))
            QSKIP("run by killedProgramOffersItsArmiesBack");
        startProgram();
        addThroughDialog("1", "ARC", "20");
        addThroughDialog("2", "KNI", "30");
        changeInfoThroughDialog("1", "Morgana", "2", "Aldric");
        const QString file = document().recovery().path();
        QTRY_COMPARE(readFile(file), state());
        std::printf("ARMIES %s\n", state().toBase64().constData());
        std::fflush(stdout);
        QTest::qWait(600000);
    }

    // Must run first, before this process has windows: its start is the
    // second start.
    void killedProgramOffersItsArmiesBack() {
        forgetEarlierRuns();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORB_TEST_CHILD"), QStringLiteral("recovery"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childEntersArmies")});
        QVERIFY(child.waitForStarted());
        QByteArray output;
        QByteArray entered;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                output += child.readAllStandardOutput();
                const qsizetype at = output.indexOf("ARMIES ");
                const qsizetype end = output.indexOf('\n', at);
                if (at < 0 || end < 0)
                    return false;
                entered = QByteArray::fromBase64(output.mid(at + 7, end - at - 7));
                return true;
            }(),
            60000);
        QVERIFY(entered.contains("Knights"));

        // A program that runs is no crash: its file is not offered.
        QVERIFY(Recovery().leftovers().empty());
        child.kill();  // SIGKILL: nothing of the program runs after it
        QVERIFY(child.waitForFinished());
        QCOMPARE(Recovery().leftovers().size(), size_t{1});

        bool welcomed = false;
        QString offered;
        whenModal(QStringLiteral("Introform"), [&](QWidget* w) {
            welcomed = true;
            clickButton(w, QStringLiteral("okbtn"));
        });
        whenModal(QStringLiteral("RestoreArmies"), [&](QWidget* w) {
            QVERIFY(welcomed);
            offered = static_cast<QMessageBox*>(w)->informativeText();
            clickButton(w, QStringLiteral("Restore"));
        });
        createWindows();
        Mainform->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!offered.isEmpty(), 20000);
        QVERIFY2(offered.contains("Player 1 (Morgana): 1 kind, 20 units"), qPrintable(offered));

        QCOMPARE(state(), entered);
        QCOMPARE(Mainform->display(2).line(1), KindLine(armyOf(2).unittypes[0]));
        QVERIFY(document().isModified());
        // Taken over: in this run's file now, and offered no more.
        QCOMPARE(readFile(document().recovery().path()), entered);
        QVERIFY(Recovery().leftovers().empty());
    }

    // Closing with changes asks; Cancel and a save that does not happen keep
    // the program running, Save and Discard close it. Without changes, or
    // after a save, it closes without a word.
    void closingAsksAboutUnsavedChanges() {
        QVERIFY(document().isModified());
        const QByteArray before = state();
        const QString recoveryFile = document().recovery().path();

        QVERIFY(exitAnswering(QStringLiteral("Cancel")));
        QVERIFY(Mainform->isVisible());
        QCOMPARE(state(), before);

        Mainform->chooseSavePath = [] { return QString(); };
        QVERIFY(exitAnswering(QStringLiteral("Save")));
        QVERIFY2(Mainform->isVisible(), "closed although the save was cancelled");

        Mainform->chooseSavePath = [this] { return path("no folder/armies.json"); };
        QString failure;
        answerBox(QStringLiteral("FileError"), QMessageBox::Ok, &failure);
        QVERIFY(exitAnswering(QStringLiteral("Save")));
        QVERIFY2(failure.contains("could not be saved"), qPrintable(failure));
        QVERIFY2(Mainform->isVisible(), "closed although the save failed");
        QVERIFY(QFile::exists(recoveryFile));

        Mainform->chooseSavePath = [this] { return path("kept"); };
        QVERIFY(exitAnswering(QStringLiteral("Save")));
        QVERIFY(!Mainform->isVisible());
        QCOMPARE(readFile(path("kept.json")), before);
        QVERIFY2(!QFile::exists(recoveryFile), "a clean exit left the recovery file");

        Mainform->show();
        QVERIFY(!exitAnswering(QString()));
        QVERIFY2(!Mainform->isVisible(), "saved armies still counted as changed");

        Mainform->show();
        addKind(1, "GOD", 5);
        QTRY_VERIFY(QFile::exists(recoveryFile));
        QVERIFY(exitAnswering(QStringLiteral("Discard")));
        QVERIFY(!Mainform->isVisible());
        QVERIFY(!QFile::exists(recoveryFile));
        Mainform->show();
    }

    // Opening other armies over changed ones asks the same question; Cancel
    // keeps the changes, Discard opens the file.
    void openingOverChangesAsks() {
        QVERIFY(document().isModified());
        const QByteArray changed = state();
        Mainform->chooseOpenPath = [this] { return path("kept.json"); };
        bool asked = false;
        whenModal(QStringLiteral("SaveChanges"), [&](QWidget* box) {
            asked = true;
            clickButton(box, QStringLiteral("Cancel"));
        });
        Mainform->OpenArmies1->trigger();
        QVERIFY(asked);
        QCOMPARE(state(), changed);

        asked = false;
        whenModal(QStringLiteral("SaveChanges"), [&](QWidget* box) {
            asked = true;
            clickButton(box, QStringLiteral("Discard"));
        });
        Mainform->OpenArmies1->trigger();
        QVERIFY(asked);
        QCOMPARE(state(), readFile(path("kept.json")));
        QVERIFY(!document().isModified());
    }

    // The newest file first, at most eight; a file that has gone leaves the
    // list with a message and nothing else changes; Clear Menu empties it.
    // A dropped file opens as the file dialog's choice does.
    void recentAndDroppedFiles() {
        for (int i = 1; i <= 9; ++i) {
            Mainform->chooseSavePath = [this, i] { return path(QStringLiteral("army%1.json").arg(i)); };
            Mainform->SaveArmies1->trigger();
        }
        emit Mainform->OpenRecent1->aboutToShow();
        auto* newest = Mainform->OpenRecent1->findChild<QAction*>(QStringLiteral("Recent1"));
        QVERIFY(newest && newest->text().endsWith(QDir::toNativeSeparators(path("army9.json"))));
        QCOMPARE(settings::recentFiles().size(), settings::MaxRecentFiles);
        QVERIFY(!settings::recentFiles().contains(path("army1.json")));

        addKind(2, "ARC", 7);
        QTRY_VERIFY(document().isModified());
        const QByteArray before = state();
        QVERIFY(QFile::remove(path("army5.json")));
        QString message;
        answerBox(QStringLiteral("FileError"), QMessageBox::Ok, &message);
        Mainform->OpenRecentClick(path("army5.json"));
        QVERIFY2(message.contains("no longer exists"), qPrintable(message));
        QVERIFY(!settings::recentFiles().contains(path("army5.json")));
        QCOMPARE(settings::recentFiles().size(), settings::MaxRecentFiles - 1);
        QCOMPARE(state(), before);

        Mainform->ClearRecent1->trigger();
        emit Mainform->OpenRecent1->aboutToShow();
        QVERIFY(settings::recentFiles().isEmpty());
        QVERIFY(!Mainform->ClearRecent1->isEnabled());

        whenModal(QStringLiteral("SaveChanges"), [](QWidget* box) { clickButton(box, QStringLiteral("Discard")); });
        dropOnMainWindow(path("kept.json"));
        QTRY_COMPARE(state(), readFile(path("kept.json")));
        QCOMPARE(settings::recentFiles().value(0), path("kept.json"));

        QFile bad(path("bad.json"));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("{}") == 2);
        bad.close();
        message.clear();
        answerBox(QStringLiteral("FileError"), QMessageBox::Ok, &message);
        dropOnMainWindow(path("bad.json"));
        QTRY_VERIFY(message.contains("could not be opened"));
        QCOMPARE(state(), readFile(path("kept.json")));
    }

    // What a new run finds: the force finder's chance and largest number,
    // the results window where it was left, the army files' folder.
    void rememberedBetweenRuns() {
        Forceform->Chance->setValue(75.5);
        Forceform->Largest->setValue(500);
        Forceform->show();
        Forceform->hide();
        Battleform->show();
        Battleform->move(40, 30);
        QTRY_COMPARE(Battleform->pos(), QPoint(40, 30));
        Battleform->hide();

        TForceform finder(nullptr, document());
        QCOMPARE(finder.Chance->value(), 75.5);
        QCOMPARE(finder.Largest->value(), 500);
        TBattleform results(nullptr, document());
        results.show();
        QTRY_COMPARE(results.pos(), QPoint(40, 30));
        QCOMPARE(settings::folder(QStringLiteral("armies")), dir_.path());
    }

    // Armies that can no longer be kept safe from a crash are said once, in
    // plain words in the window, and the player goes on working.
    void unsafeArmiesAreSaidOnce() {
        const QString folder = document().recovery().folder();
        const int kinds = armyOf(1).kindCount();
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        int shown = 0;
        QString said;
        auto answer = [&](QWidget* w) {
            ++shown;
            said = static_cast<QMessageBox*>(w)->text();
            static_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
        };
        whenModal(QStringLiteral("RecoveryFailed"), answer);
        addKind(1, "ARC", 3);
        QTRY_COMPARE(shown, 1);
        whenModal(QStringLiteral("RecoveryFailed"), answer, 2000);
        addKind(1, "KNI", 2);
        QCOMPARE(shown, 1);
        QVERIFY2(said.contains(QStringLiteral("cannot be kept safe from a crash")), qPrintable(said));
        QCOMPARE(armyOf(1).kindCount(), kinds + 2);
        QVERIFY(QFile::remove(folder));
    }
};

QTEST_MAIN(DocumentTest)
#include "ui_document_test.moc"
