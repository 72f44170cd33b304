#pragma once

// Helpers for driving the real windows in tests, as a user would.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "HandKind.h"
#include "army/Catalogue.h"
#include "document/Document.h"
#include "ui/Addform.h"
#include "ui/Battlesim.h"
#include "ui/Errors.h"
#include "ui/Infomodify.h"
#include "ui/Introduction.h"
#include "ui/Modform.h"
#include "ui/Remform.h"
#include "ui/Results.h"
#include "ui/Simulator.h"
#include "ui/Test.h"

namespace ui_test {

// Tests never read or write a player's own settings or recovery files: set
// before main runs, so no test can reach them first.
inline const bool testPaths = [] {
    QStandardPaths::setTestModeEnabled(true);
    return true;
}();

// What earlier runs of a test left: settings, and the recovery files of runs
// that were stopped before they ended.
inline void forgetEarlierRuns() {
    QSettings(QCoreApplication::applicationName(), QString()).clear();
    const QString recovery = Recovery().folder();
    QDir(recovery).removeRecursively();
    QFile::remove(recovery);  // a test that broke off may leave a file in its place
}

// The modal window shown now, if any.
inline QWidget* activeModal() {
    return QApplication::activeModalWidget();
}

// Runs action on the modal window named name as soon as it is shown (from a
// queued call, since the modal loop blocks whoever opened it). The action
// gets the window; afterwards the window is expected to close.
inline void whenModal(const QString& name, std::function<void(QWidget*)> action, int timeoutMs = 10000) {
    // Owned by the application, so a watch that never fires is still freed.
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    auto seen = std::make_shared<QElapsedTimer>();
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* modal = activeModal();
        const bool shown = modal && modal->objectName() == name && modal->isVisible();
        if (shown && !seen->isValid())
            seen->start();
        // Act once the window is active with the focus inside it, as a user
        // would find it; a slow build can take a while to get there.
        QWidget* focus = QApplication::focusWidget();
        const bool ready = shown && modal->isActiveWindow() && focus && modal->isAncestorOf(focus);
        if (ready || (shown && seen->elapsed() > 3000)) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            qWarning("modal window %s never showed", qPrintable(name));
        }
    });
    timer->start();
}

// Clicks the named push button of a window with the mouse.
inline void clickButton(QWidget* window, const QString& button) {
    auto* b = window->findChild<QPushButton*>(button);
    QVERIFY2(b, qPrintable("no button " + button));
    QTest::mouseClick(b, Qt::LeftButton);
}

// Closes the named modal window with its button when it shows, and records
// the lines it showed (for the error window) in *seen.
inline void closeWhenShown(const QString& name, const QString& button, QString* seen = nullptr) {
    whenModal(name, [=](QWidget* w) {
        if (seen) {
            if (auto* memo = w->findChild<QPlainTextEdit*>())
                *seen = memo->toPlainText();
            else if (auto* box = qobject_cast<QMessageBox*>(w))
                *seen = box->text();
        }
        clickButton(w, button);
    });
}

// While it lives, answers the question about unsaved changes with Discard,
// for tests that open armies over changed ones as a player who means to.
class DiscardChanges {
public:
    DiscardChanges() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [] {
            auto* box = qobject_cast<QMessageBox*>(activeModal());
            if (box && box->objectName() == QLatin1String("SaveChanges") && box->isVisible())
                box->button(QMessageBox::Discard)->click();
        });
        timer_.start();
    }

private:
    QTimer timer_;
};

// Closes the standard exception display when it shows; its text goes to *seen.
inline void closeExceptionWhenShown(QString* seen = nullptr) {
    whenModal(QStringLiteral("ExceptionDisplay"), [=](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (seen && box)
            *seen = box->text();
        if (box)
            box->accept();
    });
}

// Starts the program as main() does and closes the welcome window; with an
// army file as `orbsimulator FILE` starts. atWelcome runs while the welcome
// window shows.
inline void startProgram(const QString& armiesFile = QString(), const std::function<void()>& atWelcome = {}) {
    bool welcomed = false;
    whenModal(QStringLiteral("Introform"), [&](QWidget* w) {
        welcomed = true;
        if (atWelcome)
            atWelcome();
        clickButton(w, QStringLiteral("okbtn"));
    });
    forgetEarlierRuns();
    createWindows();
    if (!armiesFile.isEmpty())
        Mainform->OpenArmiesAtStart(armiesFile);
    Mainform->activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(welcomed, 10000);
    QTRY_VERIFY(!Introform->isVisible());
}

// Moves the focus into a field with the mouse (running the exit of the field
// left and the click of this one), selects its text and types over it.
inline void typeInto(QLineEdit* field, const QString& text) {
    QTest::mouseClick(field, Qt::LeftButton);
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, text);
}

template <typename T = QLineEdit>
T* control(QWidget* window, const QString& name) {
    T* c = window->findChild<T*>(name);
    if (!c)
        qFatal("no control %s in %s", qPrintable(name), qPrintable(window->objectName()));
    return c;
}

// ---- Armies ------------------------------------------------------------------

inline Document& document() {
    return Mainform->document();
}
inline const Players& players() {
    return document().players();
}
inline const Army& armyOf(int player) {
    return players().army(player);
}

// Changes the players as no dialog could, to set up a test: the displays,
// numbers and names show the new players; the displays' headers stay.
inline void changePlayers(const std::function<void(Players&)>& change) {
    Players changed = players();
    change(changed);
    const QString headers[2] = {Mainform->display(1).line(0), Mainform->display(2).line(0)};
    document().restore(changed);
    for (int player : {1, 2})
        Mainform->display(player).setLine(0, headers[player - 1]);
}

inline void setNumber(int player, const QString& number) {
    changePlayers([&](Players& p) { p.player(player).number = number.toStdString(); });
}
inline void setName(int player, const QString& name) {
    changePlayers([&](Players& p) { p.player(player).name = name.toStdString(); });
}

// Both armies empty and both displays showing no kind; the headers stay.
inline void clearArmies() {
    changePlayers([](Players& p) { p.army(1) = p.army(2) = Army(); });
}

// Empty armies, displays as at start and the first player numbers.
inline void freshArmies() {
    changePlayers([](Players& p) {
        p.army(1) = p.army(2) = Army();
        p.player(1).number = "1";
        p.player(2).number = "2";
    });
    for (int player : {1, 2})
        Mainform->display(player).setLine(0, QStringLiteral("ARMY DISPLAY OF PLAYER %1:").arg(player));
    document().markUnchanged();
}

// ---- Driving the dialogs -----------------------------------------------------

// Adds a catalogue kind through the add dialog, typed as a player types it.
inline void addThroughDialog(const QString& player, const QString& abbreviation, const QString& number) {
    bool ran = false;
    whenModal(QStringLiteral("Addform1"), [&](QWidget*) {
        ran = true;
        typeInto(Addform1->Abbreviation, abbreviation);
        typeInto(Addform1->id, player);
        typeInto(Addform1->Number, number);
        QTest::mouseClick(Addform1->okbutton, Qt::LeftButton);
    });
    Mainform->AddUnits2->trigger();
    QVERIFY2(ran, "the add dialog never opened");
    QVERIFY(!Addform1->isVisible());
}

// Changes both players' numbers and names through the army info dialog.
inline void changeInfoThroughDialog(const QString& number1, const QString& name1, const QString& number2,
                                    const QString& name2) {
    bool ran = false;
    whenModal(QStringLiteral("Armymodify"), [&](QWidget*) {
        ran = true;
        TArmymodify* d = Armymodify;
        typeInto(d->name1, name1);
        typeInto(d->id1, number1);
        typeInto(d->name2, name2);
        typeInto(d->id2, number2);
        QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
    });
    Mainform->ModifyGeneralInfo1->trigger();
    QVERIFY2(ran, "the army info dialog never opened");
    QVERIFY(!Armymodify->isVisible());
}

using handkind::kind;

// Adds a kind to a player's army, as the add dialog does; returns the
// kind's index.
inline int addKind(int player, const KindValues& v, int n) {
    if (document().addKind(player, v, n) != Army::AddResult::Added)
        qFatal("kind %s not added", v.Fullname.c_str());
    return armyOf(player).currentType;
}

// The same for a kind of the built-in catalogue.
inline int addKind(int player, const char* abbreviation, int n) {
    const CatalogueRow* row = Unitcatalogue::find(abbreviation);
    if (!row)
        qFatal("no catalogue kind %s", abbreviation);
    return addKind(player, Unitcatalogue::values(*row), n);
}

}  // namespace ui_test
