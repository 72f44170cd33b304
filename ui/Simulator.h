#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

#include "Toolkit.h"
#include "army/Army.h"
#include "battle/Battle.h"
#include "files/ArmyFile.h"

class QAction;
class QLabel;
class QMenu;
class QFrame;
class QDialog;
class QTimer;
class Recovery;

class TMainform;
class TIntroform;
class TAddform1;
class TTestform;
class TBattleform;
class TErrorform;
class TArmymodify;
class TModform1;
class TRemform1;
class TBatsim;
class TForceform;

// The process-wide window instances, created once by createWindows().
extern TMainform* Mainform;
extern TIntroform* Introform;
extern TAddform1* Addform1;
extern TTestform* Testform;
extern TBattleform* Battleform;
extern TErrorform* Errorform;
extern TArmymodify* Armymodify;
extern TModform1* Modform1;
extern TRemform1* Remform1;
extern TBatsim* Batsim;
extern TForceform* Forceform;

// Creates the ten windows in order, main window first, without running the
// message loop, and shows the main window.
void createWindows();

// The display line of a kind, from one of its soldiers.
QString KindLine(const Army& army, int unitIndex);
// Shows a kind's values in a dialog's fields, filled in this order (each
// fill runs the field's change event): Fullname, Type, Position, Number,
// Offense, Defense, Rangedoff, Attacks, Hitpoints.
void ShowKind(const Unittype& kind, const std::array<QLineEdit*, 9>& fields);
// A soldier of kind k, -1 if it has none. The reordering after an add moves
// ranged and back-line soldiers last, so the newest need not be one.
int unitOfKind(const Army& army, int k);
// The first soldier of kind k, -1 if it has none.
int firstUnitOfKind(const Army& army, int k);

// Number of lines of an army display: the header and one line per kind.
inline constexpr int ArmyDisplayLines = 1 + Army::maxTypes;

class TMainform : public QMainWindow {
    Q_OBJECT
public:
    TMainform();
    ~TMainform() override;

    QLabel* title;
    QFrame* ArmyI;
    QLabel* army1;
    QLineEdit* wizardno1;
    QLabel* wizard1;
    QLineEdit* name1;
    QPlainTextEdit* Armydisplay1;
    QPushButton* Simulation;
    QPushButton* calculate;
    QFrame* Panel1;
    QLabel* army2;
    QLineEdit* wizardno2;
    QLabel* wizard2;
    QLineEdit* name2;
    QPlainTextEdit* Armydisplay2;

    QMenu* File1;
    QAction* OpenArmies1;
    QMenu* OpenRecent1;
    QAction* ClearRecent1;
    QAction* SaveArmies1;
    QAction* Exit1;
    QMenu* Options1;
    QAction* ModifyGeneralInfo1;
    QAction* SetGeneralOptions1;
    QMenu* ArmyModifications1;
    QAction* AddUnits2;
    QAction* RemoveUnits2;
    QAction* ModifyUnits2;
    QMenu* HeroModifications1;
    QAction* Addheroes1;
    QAction* ModifyHeroes1;
    QAction* RemoveHeroes1;
    QAction* TransferUnitstoHeroes1;
    QAction* TransferUnitsfromHeroes1;
    QMenu* Tools1;
    QAction* FindForce1;
    QMenu* Help1;
    QAction* About1;
    QAction* HowToPlay1;
    QMenu* Unitmenu1;
    QAction* AddUnits1;
    QAction* RemoveUnits1;
    QAction* ModifyUnits1;
    QMenu* Unitmenu2;
    QAction* AddUnits3;
    QAction* RemoveUnits3;
    QAction* ModifyUnits3;

    Army PlayerArmy1;
    Army PlayerArmy2;
    // The battle engine; it writes its reports into the battle results window.
    Battle engine;

    // The two army displays as line boards.
    MemoBoard& display(int player) { return player == 1 ? *board1_ : *board2_; }
    Army& army(int player) { return player == 1 ? PlayerArmy1 : PlayerArmy2; }
    QLineEdit* wizardno(int player) const { return player == 1 ? wizardno1 : wizardno2; }

    // Finding the player a dialog's number names; player 1 is asked first,
    // 0 means nobody. Which comparison a dialog makes is part of its rules:
    // by text, exactly as the main window shows the number ("07" is not "7");
    bool namesPlayer(int player, const QString& number) const;
    int playerByText(const QString& number) const;
    // by number, where a text that is no number names nobody;
    int playerByNumber(const QString& number) const;
    // by number read strictly, where a text that is no number is an error.
    int playerByStrictNumber(const QString& number) const;  // throws ConversionError

    // The army display's line operations, on the board of player 1 or 2.
    void writeHeader(int player, const QString& number);
    // Line k + 1: the kind line built from the given soldier of kind k.
    void writeKindLine(int player, int k, int unitIndex);
    // Kind k leaves: the lines above it move down one, before the kinds do.
    void closeGap(int player, int k);
    // Header and kind lines of the whole army, each kind written as if just
    // added; the lines of kinds the board showed beyond them go empty.
    void writeArmy(int player, const QString& number);

    void FormActivate();
    void calculateClick();
    void SimulationClick();
    void Unitmenu1Popup();
    void Unitmenu2Popup();
    void ModifyGeneralInfo1Click();
    void SetGeneralOptions1Click();
    void AddUnits2Click();
    void RemoveUnits2Click();
    void ModifyUnits2Click();
    void Addunits1Click();
    void RemoveUnits1Click();
    void ModifyUnits1Click();
    void RemoveUnits3Click();
    void ModifyUnits3Click();
    void Addheroes1Click();
    void ModifyHeroes1Click();
    void RemoveHeroes1Click();
    void TransferUnitstoHeroes1Click();
    void TransferUnitsfromHeroes1Click();
    void OpenArmies1Click();
    void SaveArmies1Click();
    void Exit1Click();
    // Opens an army file named on the command line as "Open Armies..." opens
    // the file chosen, once the welcome window has closed.
    void OpenArmiesAtStart(const QString& path);
    void FindForce1Click();
    // Opens a file of "Open Recent"; a file that has gone leaves the list.
    void OpenRecentClick(const QString& path);
    void ClearRecent1Click();
    void About1Click();
    void HowToPlay1Click();

    // Whether the armies, numbers or names differ from what was last opened
    // or saved, or from the empty start.
    bool modified() const;
    // Asks whether to save changed armies before they are lost: false when
    // the player cancels or the save fails. No question without changes.
    bool maybeSave();
    // The armies as they are now count as unchanged, as at the empty start,
    // belonging to no file.
    void markUnchanged();
    // The armies of a run that ended without cleaning up are offered back.
    void offerRecovery();
    Recovery& recovery() { return *recovery_; }

    // Both armies have units; otherwise the error window says which has
    // none, as for "Simulate Battle", and the answer is false.
    bool SimulationPossible();

    // Where the file commands get their path; an empty path is a cancel. By
    // default they ask with a file dialog; tests put their own answer here.
    std::function<QString()> chooseOpenPath;
    std::function<QString()> chooseSavePath;

    // Shows a message of up to three lines in the error window, modally.
    static void ShowError(const QStringList& lines);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void notImplemented();
    void preparePopup(QLineEdit* wizardno);
    QString askForArmiesFile(bool save);
    void showFileError(const QString& title, const QString& text);
    bool confirmReplace(const QString& path);
    void openArmiesFile(const QString& path);
    void applySetup(const armyfile::ArmySetup& setup, const Army (&built)[2]);
    // Saves to path, or to a file the player chooses when path is empty.
    bool saveArmies(const QString& path);
    QByteArray armiesState() const;
    // Runs once after the changes of one command: records the armies for
    // recovery and follows whether they are saved.
    void armiesChanged();
    void fillRecentMenu();
    void openStartFile();
    std::unique_ptr<MemoBoard> board1_;
    std::unique_ptr<MemoBoard> board2_;
    int activations_ = 0;
    bool welcomed_ = false;
    QString startArmiesFile_;
    // The last army file opened or saved: where a save goes without asking.
    QString currentFile_;
    // The armies as last opened or saved, and as the recovery file holds them.
    QByteArray saved_;
    QByteArray recorded_;
    std::unique_ptr<Recovery> recovery_;
    QTimer* changes_;
    QDialog* howToPlay_ = nullptr;
};
