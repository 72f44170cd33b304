#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

#include "Toolkit.h"
#include "battle/Battle.h"

class QAction;
class QLabel;
class QMenu;
class QFrame;
class QDialog;
class Document;
struct ArmiesChange;

class TMainform;

// The process-wide window instances are created once by createWindows();
// each window's header names its own, this one the main window.
extern TMainform* Mainform;

// Creates the armies' document and the ten windows in order, main window
// first, each dialog handed the document, without running the message
// loop, and shows the main window.
void createWindows();

// The display line of a kind.
QString KindLine(const Unittype& kind);

// Number of lines of an army display: the header and one line per kind.
inline constexpr int ArmyDisplayLines = 1 + Army::maxTypes;

// The main window: it shows the document (both players' numbers, names and
// armies) and starts the commands; the dialogs it opens edit the document.
class TMainform : public QMainWindow {
    Q_OBJECT
public:
    // Takes the document into its keeping.
    explicit TMainform(Document* document);
    ~TMainform() override;

    Document& document() { return *document_; }

    QLabel* title;
    // Player 1's and player 2's panels (objectNames "ArmyI" and "Panel1").
    QFrame* panel1;
    QLabel* army1;
    QLineEdit* wizardno1;
    QLabel* wizard1;
    QLineEdit* name1;
    QPlainTextEdit* Armydisplay1;
    QPushButton* Simulation;
    QPushButton* calculate;
    QFrame* panel2;
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

    // The battle engine; it writes its reports into the battle results window.
    Battle engine;

    // The two army displays as line boards.
    MemoBoard& display(int player) { return player == 1 ? *board1_ : *board2_; }

    // "Change General Options" and the hero commands: not in this version.
    void notImplemented();
    void FormActivate();
    void calculateClick();
    void SimulationClick();
    void Unitmenu1Popup();
    void Unitmenu2Popup();
    void ModifyGeneralInfo1Click();
    void AddUnits2Click();
    void RemoveUnits2Click();
    void ModifyUnits2Click();
    // The items of both pop-up menus, whose opening named the player.
    void popupAddUnitsClick();
    void popupRemoveUnitsClick();
    void popupModifyUnitsClick();
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

    // Asks whether to save changed armies before they are lost: false when
    // the player cancels or the save fails. No question without changes.
    bool maybeSave();
    // The armies of a run that ended without cleaning up are offered back.
    void offerRecovery();

    // Where the file commands get their path; an empty path is a cancel. By
    // default they ask with a file dialog; tests put their own answer here.
    std::function<QString()> chooseOpenPath;
    std::function<QString()> chooseSavePath;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Shows a change of the document: the displays are boards of lines that
    // each change writes as it happens, never redrawn whole.
    void showChange(const ArmiesChange& change);
    QLineEdit* wizardno(int player) const { return player == 1 ? wizardno1 : wizardno2; }
    QLineEdit* name(int player) const { return player == 1 ? name1 : name2; }
    void writeHeader(int player);
    void writeKindLine(int player, int k);
    void writeArmy(int player);
    void preparePopup(QLineEdit* wizardno);
    QString askForArmiesFile(bool save);
    void showFileError(const QString& title, const QString& text);
    bool confirmReplace(const QString& path);
    void openArmiesFile(const QString& path);
    // Saves to path, or to a file the player chooses when path is empty.
    bool saveArmies(const QString& known);
    void fillRecentMenu();
    void openStartFile();
    Document* document_;
    std::unique_ptr<MemoBoard> board1_;
    std::unique_ptr<MemoBoard> board2_;
    int activations_ = 0;
    bool welcomed_ = false;
    QString startArmiesFile_;
    QDialog* howToPlay_ = nullptr;
};
