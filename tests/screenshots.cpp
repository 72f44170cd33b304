// Drives a short session through the real windows on a real display and
// saves a picture of every window it opens: what a player sees, which the
// offscreen window tests cannot show. Run by `make screenshots` under Xvfb
// with a window manager; ORB_SCREENSHOTS names the folder for the pictures.

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QUuid>

#include "UiTestSupport.h"
#include "files/ArmyFileIO.h"
#include "rules/DialogRules.h"

using namespace ui_test;

namespace {

QString folder() {
    return qEnvironmentVariable("ORB_SCREENSHOTS", QStringLiteral("screenshots"));
}

// Waits until the window manager and the X server have drawn what Qt
// painted, then saves the window with its frame as the screen shows it.
void shoot(QWidget* window, const QString& name) {
    QVERIFY2(QTest::qWaitForWindowExposed(window), qPrintable(name));
    // The window manager's frame is part of what the player sees; a window
    // may still be placed and sized after it shows (the results window fits
    // itself to the screen): it is taken once its frame holds it and stays.
    QRect frame;
    const bool settled = QTest::qWaitFor(
        [&] {
            const QRect now = window->frameGeometry();
            const bool same = now == frame && now.contains(window->geometry()) && window->width() > 1;
            frame = now;
            return same && now != window->geometry();
        },
        5000);
    if (!settled) {
        qInfo("%s: shown without a frame", qPrintable(name));
        frame = window->frameGeometry();
    }
    QScreen* screen = window->screen();
    frame = frame.intersected(screen->geometry());
    // Drawn when two grabs in a row are alike.
    QPixmap shot;
    const bool drawn = QTest::qWaitFor(
        [&] {
            const QPixmap now = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
            const bool same = !shot.isNull() && now.toImage() == shot.toImage();
            shot = now;
            return same;
        },
        3000);
    if (!drawn)
        qInfo("%s: still changing when taken", qPrintable(name));
    QVERIFY2(shot.width() > 100 && shot.height() > 60, qPrintable(QStringLiteral("%1: %2x%3 at %4,%5")
                                                                      .arg(name)
                                                                      .arg(frame.width())
                                                                      .arg(frame.height())
                                                                      .arg(frame.x())
                                                                      .arg(frame.y())));
    const QString path = QDir(folder()).filePath(name + QStringLiteral(".png"));
    QVERIFY2(shot.save(path), qPrintable(path));
    qInfo("%s: window %dx%d on a %dx%d screen", qPrintable(path), frame.width(), frame.height(),
          screen->geometry().width(), screen->geometry().height());
}

void shootScreen(const QString& name) {
    QTest::qWait(300);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QString path = QDir(folder()).filePath(name + QStringLiteral(".png"));
    QVERIFY2(screen->grabWindow(0).save(path), qPrintable(path));
}

void openArmies(const QString& path) {
    Mainform->chooseOpenPath = [path] { return path; };
    Mainform->OpenArmies1->trigger();
    QCOMPARE(activeModal(), nullptr);
}

// Forty kinds of 9,999 units on each side, with the longest wizard names
// the army dialog takes: the largest battle the windows can be given.
QString writeLargestArmies() {
    armyfile::ArmySetup setup;
    const auto& rows = Unitcatalogue::rows();
    for (int s = 0; s < 2; ++s) {
        armyfile::PlayerSetup& player = setup.players[s];
        player.number = std::to_string(98 + s);
        player.name = std::string(dialogrules::MaxNameLength, s == 0 ? 'W' : 'M');
        for (int k = 0; k < Army::maxTypes; ++k)
            player.kinds.push_back(
                {Unitcatalogue::values(rows[static_cast<size_t>(k + 40 * s) % rows.size()]), dialogrules::MaxUnits});
    }
    const QString path = QDir(folder()).filePath(QStringLiteral("largest-armies.json"));
    QString error;
    if (!armyfile::SaveArmies(path, setup, &error))
        qFatal("%s", qPrintable(error));
    return path;
}

// The list of the simulation's battles, and one of them in its own window.
void shootBattles(QWidget* results, const QString& name) {
    Battleform->Scroller->ensureWidgetVisible(Battleform->ShowBattle);
    Battleform->ShowBattle->showPopup();
    QTRY_VERIFY(Battleform->ShowBattle->view()->isVisible());
    shoot(results, name + QStringLiteral("-battles"));
    Battleform->ShowBattle->hidePopup();
    whenModal(QStringLiteral("RunReport"), [&](QWidget* w) {
        shoot(w, name + QStringLiteral("-battle"));
        clickButton(w, QStringLiteral("BitBtn1"));
    });
    emit Battleform->ShowBattle->activated(
        Battleform->ShowBattle->findText(QStringLiteral("A typical battle for side I")));
    QTRY_VERIFY(!Battleform->RunReport->isVisible());
}

// "Simulate Battle", the run count typed, "Run Simulation!"; pictures of
// the dialog and of the results it shows, and with battles, of those.
void simulate(int runs, const QString& name, bool battles = false) {
    bool shown = false;
    whenModal(QStringLiteral("Batsim"), [&](QWidget* dialog) {
        shoot(dialog, QStringLiteral("%1-dialog").arg(name));
        typeInto(Batsim->Amount, QString::number(runs));
        whenModal(
            QStringLiteral("Battleform"),
            [&](QWidget* results) {
                shown = true;
                shoot(results, name);
                shootScreen(name + QStringLiteral("-screen"));
                // The far end of the page, when the screen is too small for it.
                QScrollBar* across = Battleform->Scroller->horizontalScrollBar();
                QScrollBar* down = Battleform->Scroller->verticalScrollBar();
                if (across->maximum() > 0 || down->maximum() > 0) {
                    across->setValue(across->maximum());
                    down->setValue(down->maximum());
                    shoot(results, name + QStringLiteral("-scrolled"));
                    across->setValue(0);
                    down->setValue(0);
                }
                if (battles)
                    shootBattles(results, name);
                clickButton(results, QStringLiteral("BitBtn1"));
            },
            600000);
        QTest::mouseClick(Batsim->simrun, Qt::LeftButton);
        clickButton(dialog, QStringLiteral("BitBtn1"));
    });
    QTest::mouseClick(Mainform->Simulation, Qt::LeftButton);
    QVERIFY(shown);
}

}  // namespace

class Screenshots : public QObject {
    Q_OBJECT
private slots:
    void session() {
        QVERIFY(QDir().mkpath(folder()));
        forgetEarlierRuns();
        // As main() sets it, for the About box: the changelog's newest
        // version, without the package revision.
        QFile changelog(QStringLiteral(ORB_SOURCE_DIR "/packaging/changelog"));
        QVERIFY(changelog.open(QIODevice::ReadOnly));
        const QString head = QString::fromUtf8(changelog.readLine());
        const QString version = head.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0);
        QCoreApplication::setApplicationVersion(version.section(QLatin1Char('-'), 0, 0));
        // The armies of a run that was killed, left for this start to offer.
        const QString leftovers = Recovery().folder();
        QVERIFY(QDir().mkpath(leftovers));
        QVERIFY(QFile::copy(QStringLiteral(ORB_SOURCE_DIR "/examples/armies.json"),
                            QDir(leftovers).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + ".json")));
        bool welcomed = false;
        bool offered = false;
        whenModal(QStringLiteral("Introform"), [&](QWidget* w) {
            shoot(w, QStringLiteral("01-welcome"));
            welcomed = true;
            clickButton(w, QStringLiteral("okbtn"));
        });
        whenModal(QStringLiteral("RestoreArmies"), [&](QWidget* w) {
            shoot(w, QStringLiteral("01-restore-offer"));
            offered = true;
            clickButton(w, QStringLiteral("Restore"));
        });
        createWindows();
        QTRY_VERIFY_WITH_TIMEOUT(welcomed, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(offered, 20000);
        shoot(Mainform, QStringLiteral("01-restored"));

        // Opening a file over the restored, unsaved armies asks first.
        whenModal(QStringLiteral("SaveChanges"), [&](QWidget* w) {
            shoot(w, QStringLiteral("01-save-changes"));
            clickButton(w, QStringLiteral("Discard"));
        });

        // Small armies: a battle report, its pop-up menu, a simulation.
        openArmies(QStringLiteral(ORB_SOURCE_DIR "/examples/armies.json"));
        shoot(Mainform, QStringLiteral("02-main-small"));
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        shoot(Battleform, QStringLiteral("03-report-small"));
        QWidget* viewport = Battleform->Results2->viewport();
        const QPoint at(120, 80);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &click);
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        shoot(Battleform, QStringLiteral("04-report-menu"));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!QApplication::activePopupWidget());
        clickButton(Battleform, QStringLiteral("BitBtn1"));
        QTRY_VERIFY(!Battleform->isVisible());
        simulate(200, QStringLiteral("05-simulation-small"), true);

        // The File menu with its recent files, the Help menu and its windows.
        QMenuBar* bar = Mainform->menuBar();
        bar->setActiveAction(Mainform->File1->menuAction());
        QTRY_VERIFY(Mainform->File1->isVisible());
        Mainform->File1->setActiveAction(Mainform->OpenRecent1->menuAction());
        QTest::keyClick(Mainform->File1, Qt::Key_Right);
        QTRY_VERIFY(Mainform->OpenRecent1->isVisible());
        shootScreen(QStringLiteral("04-file-menu-screen"));
        QTest::keyClick(Mainform->OpenRecent1, Qt::Key_Escape);
        QTest::keyClick(Mainform->File1, Qt::Key_Escape);
        QTRY_VERIFY(!Mainform->File1->isVisible());
        bar->setActiveAction(Mainform->Help1->menuAction());
        QTRY_VERIFY(Mainform->Help1->isVisible());
        shoot(Mainform, QStringLiteral("04-help-menu"));
        QTest::keyClick(Mainform->Help1, Qt::Key_Escape);
        QTRY_VERIFY(!Mainform->Help1->isVisible());
        whenModal(QStringLiteral("AboutBox"), [&](QWidget* w) {
            shoot(w, QStringLiteral("04-about"));
            qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
        });
        Mainform->About1->trigger();
        Mainform->HowToPlay1->trigger();
        QWidget* help = Mainform->findChild<QWidget*>(QStringLiteral("HowToPlay"));
        QVERIFY(help);
        QTRY_VERIFY(help->isVisible());
        shoot(help, QStringLiteral("04-how-to-play"));
        help->close();
        const QString gone = QDir(folder()).filePath(QStringLiteral("gone.json"));
        whenModal(QStringLiteral("FileError"), [&](QWidget* w) {
            shoot(w, QStringLiteral("04-recent-file-gone"));
            qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
        });
        Mainform->OpenRecentClick(gone);

        // Then the largest armies, in the same session.
        openArmies(writeLargestArmies());
        shoot(Mainform, QStringLiteral("06-main-largest"));
        QElapsedTimer clock;
        clock.start();
        simulate(qEnvironmentVariableIntValue("ORB_SCREENSHOT_RUNS") > 0
                     ? qEnvironmentVariableIntValue("ORB_SCREENSHOT_RUNS")
                     : 4,
                 QStringLiteral("07-simulation-largest"));
        qInfo("largest armies simulated in %lld ms", static_cast<long long>(clock.elapsed()));

        // The smallest army against the largest: one chart's axis counts to
        // 1, the other's to 400,000.
        changePlayers([](Players& p) { p.army(1) = Army(); });
        addKind(1, "KNI", 1);
        simulate(10, QStringLiteral("08-simulation-one-against-largest"));
        // Twice more: the list follows each simulation.
        simulate(10, QStringLiteral("09-simulation-again"), true);
    }
};

QTEST_MAIN(Screenshots)
#include "screenshots.moc"
