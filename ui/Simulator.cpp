#include "Simulator.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "Addform.h"
#include "Battlesim.h"
#include "Errors.h"
#include "Forceform.h"
#include "Infomodify.h"
#include "Introduction.h"
#include "Modform.h"
#include "Remform.h"
#include "Results.h"
#include "Settings.h"
#include "Test.h"
#include "battle/Answers.h"
#include "document/Document.h"
#include "files/ArmyFile.h"

TMainform* Mainform = nullptr;
TIntroform* Introform = nullptr;
TAddform1* Addform1 = nullptr;
TTestform* Testform = nullptr;
TBattleform* Battleform = nullptr;
TErrorform* Errorform = nullptr;
TArmymodify* Armymodify = nullptr;
TModform1* Modform1 = nullptr;
TRemform1* Remform1 = nullptr;
TBatsim* Batsim = nullptr;
TForceform* Forceform = nullptr;

void createWindows() {
    auto* document = new Document;
    Mainform = new TMainform(document);
    Introform = new TIntroform(Mainform);
    Addform1 = new TAddform1(Mainform, *document);
    Testform = new TTestform(Mainform);
    Battleform = new TBattleform(Mainform, *document);
    Errorform = new TErrorform(Mainform);
    Armymodify = new TArmymodify(Mainform, *document);
    Modform1 = new TModform1(Mainform, *document);
    Remform1 = new TRemform1(Mainform, *document);
    Batsim = new TBatsim(Mainform, *document);
    Forceform = new TForceform(Mainform, *document);
    Mainform->engine.setReport(Battleform);
    Mainform->show();
    Mainform->activateWindow();
}

QString KindLine(const Unittype& kind) {
    return QString::fromStdString(kind.Fullname) + QStringLiteral(" : ") + IntToStr(kind.Number) +
           QStringLiteral("  (O:") + FloatToStr(kind.Offense) + QStringLiteral(" D:") + FloatToStr(kind.Defense) +
           QStringLiteral(" R:") + FloatToStr(kind.Rangedoff) + QStringLiteral(" A:") + IntToStr(kind.Attacks) +
           QStringLiteral(" H:") + IntToStr(kind.Hitpoints) + QStringLiteral(")");
}

void TMainform::writeHeader(int player) {
    display(player).setLine(
        0, QStringLiteral("ARMY DISPLAY OF PLAYER ") + QString::fromStdString(document_->player(player).number));
}

void TMainform::writeKindLine(int player, int k) {
    display(player).setLine(k + 1, KindLine(document_->army(player).unittypes[k]));
}

void TMainform::writeArmy(int player) {
    const Army& a = document_->army(player);
    MemoBoard& board = display(player);
    board.beginBatch();
    board.clear();
    writeHeader(player);
    for (int k = 0; k <= a.currentType && k < Army::maxTypes; ++k)
        if (!a.unittypes[k].Fullname.empty())
            writeKindLine(player, k);
    board.endBatch();
}

void TMainform::showChange(const ArmiesChange& change) {
    const int p = change.player;
    switch (change.what) {
        case ArmiesChange::KindWritten:
            writeKindLine(p, change.kind);
            break;
        case ArmiesChange::KindRemoved: {
            // The lines below the kind's move up one, as the kinds did.
            MemoBoard& board = display(p);
            board.beginBatch();
            for (int i = change.kind + 1; i <= change.lastKind + 1; ++i)
                board.setLine(i, board.line(i + 1));
            board.endBatch();
            break;
        }
        case ArmiesChange::NumberWritten:
            wizardno(p)->setText(QString::fromStdString(document_->player(p).number));
            writeHeader(p);
            break;
        case ArmiesChange::NameWritten:
            name(p)->setText(QString::fromStdString(document_->player(p).name));
            break;
        case ArmiesChange::Replaced:
            for (int player : {1, 2})
                wizardno(player)->setText(QString::fromStdString(document_->player(player).number));
            for (int player : {1, 2})
                name(player)->setText(QString::fromStdString(document_->player(player).name));
            for (int player : {1, 2})
                writeArmy(player);
            break;
    }
}

namespace {
QLineEdit* makeField(const QString& name, const QString& text, QWidget* parent, bool italic) {
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setFrame(false);
    field->setFocusPolicy(Qt::NoFocus);
    QFont f = field->font();
    f.setItalic(italic);
    f.setBold(true);
    field->setFont(f);
    QPalette p = field->palette();
    p.setColor(QPalette::Base, QColor::fromRgb(Palette::teal));
    p.setColor(QPalette::Text, Qt::white);
    field->setPalette(p);
    return field;
}

}  // namespace

TMainform::TMainform(Document* document) : engine(nullptr), document_(document) {
    document_->setParent(this);
    setObjectName(QStringLiteral("Mainform"));
    setWindowTitle(QStringLiteral("Orb 2.0 Battle Simulator Version 1.0"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(729, 521);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    auto* central = new QWidget(this);
    SetBackground(central, Palette::olive);
    setCentralWidget(central);

    title = MakeLabel(QStringLiteral("title"), QStringLiteral("Orb 2.0 Battle Simulator"), central, false, 30);
    QFont titleFont = title->font();
    titleFont.setFamily(QStringLiteral("Times New Roman"));
    titleFont.setStyleHint(QFont::Serif);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    title->setGeometry(0, 8, 729, 44);

    struct PanelControls {
        QFrame* panel;
        QLabel* army;
        QLineEdit* wizardno;
        QLabel* wizard;
        QLineEdit* name;
        QPlainTextEdit* display;
    };
    auto makePanel = [&](const QString& panelName, int player, int y) {
        PanelControls c;
        c.panel = new QFrame(central);
        c.panel->setObjectName(panelName);
        c.panel->setFrameShape(QFrame::Panel);
        c.panel->setFrameShadow(QFrame::Raised);
        SetBackground(c.panel, Palette::teal);
        c.panel->setGeometry(0, y, 729, 175);
        const QString n = QString::number(player);
        c.army = MakeLabel(QStringLiteral("army") + n, QStringLiteral("Army - Player: "), c.panel, true);
        QFont serif = c.army->font();
        serif.setFamily(QStringLiteral("MS Serif"));
        serif.setUnderline(true);
        serif.setPixelSize(15);
        c.army->setFont(serif);
        // The labels take the width their text needs in the font at hand.
        const int armyWidth = c.army->sizeHint().width() + 4;
        c.army->setGeometry(10, 6, armyWidth, 22);
        c.wizardno = makeField(QStringLiteral("wizardno") + n, n, c.panel, false);
        c.wizardno->setGeometry(12 + armyWidth, 6, 60, 22);
        c.wizard = MakeLabel(QStringLiteral("wizard") + n, QStringLiteral("Wizard Name:"), c.panel, true);
        const int wizardWidth = c.wizard->sizeHint().width() + 4;
        c.wizard->setGeometry(230, 6, wizardWidth, 22);
        c.name = makeField(QStringLiteral("name") + n, QStringLiteral("Nameless ") + n, c.panel, true);
        c.name->setGeometry(232 + wizardWidth, 6, 713 - (232 + wizardWidth), 22);
        c.display = new QPlainTextEdit(c.panel);
        c.display->setObjectName(QStringLiteral("Armydisplay") + n);
        c.display->setReadOnly(true);
        c.display->setLineWrapMode(QPlainTextEdit::NoWrap);
        c.display->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        c.display->setFocusPolicy(Qt::NoFocus);
        c.display->setContextMenuPolicy(Qt::CustomContextMenu);
        QFont displayFont(QStringLiteral("MS Sans Serif"));
        displayFont.setStyleHint(QFont::SansSerif);
        displayFont.setPixelSize(17);
        c.display->setFont(displayFont);
        c.display->setGeometry(8, 32, 713, 136);
        return c;
    };
    const PanelControls upper = makePanel(QStringLiteral("ArmyI"), 1, 60);
    panel1 = upper.panel;
    army1 = upper.army;
    wizardno1 = upper.wizardno;
    wizard1 = upper.wizard;
    name1 = upper.name;
    Armydisplay1 = upper.display;

    Simulation = MakeBoldButton(QStringLiteral("Simulation"), QStringLiteral("Simulate Battle"), central, 20);
    Simulation->setGeometry(40, 246, 260, 44);
    calculate = MakeBoldButton(QStringLiteral("calculate"), QStringLiteral("Create Battle Report"), central, 20);
    calculate->setGeometry(429, 246, 260, 44);

    const PanelControls lower = makePanel(QStringLiteral("Panel1"), 2, 302);
    panel2 = lower.panel;
    army2 = lower.army;
    wizardno2 = lower.wizardno;
    wizard2 = lower.wizard;
    name2 = lower.name;
    Armydisplay2 = lower.display;

    board1_ = std::make_unique<MemoBoard>(Armydisplay1, ArmyDisplayLines);
    board1_->setLine(0, QStringLiteral("ARMY DISPLAY OF PLAYER 1:"));
    board2_ = std::make_unique<MemoBoard>(Armydisplay2, ArmyDisplayLines);
    board2_->setLine(0, QStringLiteral("ARMY DISPLAY OF PLAYER 2:"));

    // A menu item that runs its handler, showing any error it raises.
    auto item = [this](QMenu* menu, const char* name, const char* caption, void (TMainform::*handler)()) {
        QAction* action = menu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this,
                [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
        return action;
    };

    // Main menu.
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("Mainmenu"));
    Options1 = bar->addMenu(QStringLiteral("General Options"));
    Options1->setObjectName(QStringLiteral("Options1"));
    ModifyGeneralInfo1 = item(Options1, "ModifyGeneralInfo1", "Modify Army Info", &TMainform::ModifyGeneralInfo1Click);
    SetGeneralOptions1 = item(Options1, "SetGeneralOptions1", "Change General Options", &TMainform::notImplemented);
    ArmyModifications1 = bar->addMenu(QStringLiteral("Unit Options"));
    ArmyModifications1->setObjectName(QStringLiteral("ArmyModifications1"));
    AddUnits2 = item(ArmyModifications1, "AddUnits2", "Add Units", &TMainform::AddUnits2Click);
    RemoveUnits2 = item(ArmyModifications1, "RemoveUnits2", "Remove Units", &TMainform::RemoveUnits2Click);
    ModifyUnits2 = item(ArmyModifications1, "ModifyUnits2", "Modify Units", &TMainform::ModifyUnits2Click);
    HeroModifications1 = bar->addMenu(QStringLiteral("Hero Options"));
    HeroModifications1->setObjectName(QStringLiteral("HeroModifications1"));
    Addheroes1 = item(HeroModifications1, "Addheroes1", "Add Heroes", &TMainform::notImplemented);
    ModifyHeroes1 = item(HeroModifications1, "ModifyHeroes1", "Modify Heroes", &TMainform::notImplemented);
    RemoveHeroes1 = item(HeroModifications1, "RemoveHeroes1", "Remove Heroes", &TMainform::notImplemented);
    TransferUnitstoHeroes1 =
        item(HeroModifications1, "TransferUnitstoHeroes1", "Transfer Units to Heroes", &TMainform::notImplemented);
    TransferUnitsfromHeroes1 =
        item(HeroModifications1, "TransferUnitsfromHeroes1", "Transfer Units from Heroes", &TMainform::notImplemented);

    Tools1 = bar->addMenu(QStringLiteral("Tools"));
    Tools1->setObjectName(QStringLiteral("Tools1"));
    FindForce1 = item(Tools1, "FindForce1", "Find the Force Needed...", &TMainform::FindForce1Click);
    FindForce1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    Help1 = bar->addMenu(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    HowToPlay1 = item(Help1, "HowToPlay1", "How to Play...", &TMainform::HowToPlay1Click);
    HowToPlay1->setShortcut(QKeySequence(Qt::Key_F1));
    About1 = item(Help1, "About1", "About Orb Battle Simulator", &TMainform::About1Click);

    // The file commands, first in the bar where desktop programs keep them.
    File1 = new QMenu(QStringLiteral("File"), bar);
    File1->setObjectName(QStringLiteral("File1"));
    bar->insertMenu(Options1->menuAction(), File1);
    OpenArmies1 = item(File1, "OpenArmies1", "Open Armies...", &TMainform::OpenArmies1Click);
    OpenArmies1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    OpenRecent1 = File1->addMenu(QStringLiteral("Open Recent"));
    OpenRecent1->setObjectName(QStringLiteral("OpenRecent1"));
    ClearRecent1 = new QAction(QStringLiteral("Clear Menu"), this);
    ClearRecent1->setObjectName(QStringLiteral("ClearRecent1"));
    connect(ClearRecent1, &QAction::triggered, this, &TMainform::ClearRecent1Click);
    // Filled as it opens, from the settings that programs side by side share.
    connect(OpenRecent1, &QMenu::aboutToShow, this, &TMainform::fillRecentMenu);
    SaveArmies1 = item(File1, "SaveArmies1", "Save Armies...", &TMainform::SaveArmies1Click);
    SaveArmies1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    File1->addSeparator();
    Exit1 = item(File1, "Exit1", "Exit", &TMainform::Exit1Click);
    chooseOpenPath = [this] { return askForArmiesFile(false); };
    chooseSavePath = [this] { return askForArmiesFile(true); };

    // Pop-up menus of the army displays.
    Unitmenu1 = new QMenu(this);
    Unitmenu1->setObjectName(QStringLiteral("Unitmenu1"));
    AddUnits1 = item(Unitmenu1, "AddUnits1", "Add Units", &TMainform::popupAddUnitsClick);
    RemoveUnits1 = item(Unitmenu1, "RemoveUnits1", "Remove Units", &TMainform::popupRemoveUnitsClick);
    ModifyUnits1 = item(Unitmenu1, "ModifyUnits1", "Modify Units", &TMainform::popupModifyUnitsClick);
    Unitmenu2 = new QMenu(this);
    Unitmenu2->setObjectName(QStringLiteral("Unitmenu2"));
    AddUnits3 = item(Unitmenu2, "AddUnits3", "Add Units", &TMainform::popupAddUnitsClick);
    RemoveUnits3 = item(Unitmenu2, "RemoveUnits3", "Remove Units", &TMainform::popupRemoveUnitsClick);
    ModifyUnits3 = item(Unitmenu2, "ModifyUnits3", "Modify Units", &TMainform::popupModifyUnitsClick);
    connect(Unitmenu1, &QMenu::aboutToShow, this, &TMainform::Unitmenu1Popup);
    connect(Unitmenu2, &QMenu::aboutToShow, this, &TMainform::Unitmenu2Popup);
    connect(Armydisplay1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Unitmenu1->popup(Armydisplay1->viewport()->mapToGlobal(pos)); });
    connect(Armydisplay2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Unitmenu2->popup(Armydisplay2->viewport()->mapToGlobal(pos)); });

    connect(calculate, &QPushButton::clicked, this, [this] { RunGuarded([this] { calculateClick(); }); });
    connect(Simulation, &QPushButton::clicked, this, [this] { RunGuarded([this] { SimulationClick(); }); });

    connect(document_, &Document::changed, this, &TMainform::showChange);
    // Said once: the player goes on working, but should know that a crash
    // would now lose the armies.
    connect(document_, &Document::recoveryFailed, this, [this](const QString& error) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Orb 2.0 Battle Simulator"),
                        QStringLiteral("Your armies cannot be kept safe from a crash: the recovery file could not be "
                                       "written (%1).\nSave your armies to a file to keep them.")
                            .arg(error),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("RecoveryFailed"));
        box.exec();
    });
    setAcceptDrops(true);
}

TMainform::~TMainform() = default;

bool TMainform::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

void TMainform::FormActivate() {
    if (activations_ != 0)
        return;
    activations_ = 1;
    // Shown from the message loop, once the main window is up behind it; a
    // file named at start opens once the welcome has been read.
    QTimer::singleShot(0, Introform, [this] {
        Introform->ShowModal();
        welcomed_ = true;
        RunGuarded([this] { offerRecovery(); });
        openStartFile();
    });
}

void TMainform::calculateClick() {
    if (const std::string missing = MissingArmy(document_->players(), Command::Report); !missing.empty()) {
        ShowError({QString::fromStdString(missing)});
        return;
    }
    {
        // A battle of large armies takes a moment: say so.
        WaitCursor busy;
        ReportBatch batch(Battleform);
        document_->fightBattle(engine);
    }
    Battleform->show();
    Battleform->raise();
    Battleform->activateWindow();
}

void TMainform::SimulationClick() {
    if (const std::string missing = MissingArmy(document_->players(), Command::Simulation); !missing.empty())
        ShowError({QString::fromStdString(missing)});
    else
        Batsim->ShowModal();
}

void TMainform::FindForce1Click() {
    Forceform->ShowModal();
}

void TMainform::preparePopup(QLineEdit* wizardno) {
    Remform1->tabOrder().SetTabOrder(Remform1->Id, 20);
    Modform1->tabOrder().SetTabOrder(Modform1->Id, 20);
    Addform1->tabOrder().SetTabOrder(Addform1->id, 20);
    Addform1->id->setText(wizardno->text());
    Modform1->Id->setText(wizardno->text());
    Remform1->Id->setText(wizardno->text());
}

void TMainform::Unitmenu1Popup() {
    preparePopup(wizardno1);
}
void TMainform::Unitmenu2Popup() {
    preparePopup(wizardno2);
}

void TMainform::ModifyGeneralInfo1Click() {
    Armymodify->ShowModal();
}
void TMainform::AddUnits2Click() {
    Addform1->tabOrder().SetTabOrder(Addform1->id, 1);
    Addform1->ShowModal();
}

void TMainform::RemoveUnits2Click() {
    Remform1->tabOrder().SetTabOrder(Remform1->Id, 1);
    Remform1->ShowModal();
}

void TMainform::ModifyUnits2Click() {
    Modform1->tabOrder().SetTabOrder(Modform1->Id, 1);
    Modform1->ShowModal();
}

void TMainform::popupAddUnitsClick() {
    Addform1->ShowModal();
}
void TMainform::popupRemoveUnitsClick() {
    Remform1->ShowModal();
}
void TMainform::popupModifyUnitsClick() {
    Modform1->ShowModal();
}

void TMainform::notImplemented() {
    ShowError({QStringLiteral("This function has not been implemented in this version of the battle simulator")});
}
// ---- Army files ----------------------------------------------------------------

namespace {
const QString armiesFilter = QStringLiteral("Orb armies (*.json)");
}  // namespace

QString TMainform::askForArmiesFile(bool save) {
    // Opening starts in the folder used last; saving offers the file the
    // armies came from, to save over it.
    const QString folder = settings::folder(QStringLiteral("armies"));
    const QString start = save && !document_->filePath().isEmpty() ? document_->filePath() : folder;
    QFileDialog dialog(this, save ? QStringLiteral("Save Armies") : QStringLiteral("Open Armies"), start, armiesFilter);
    dialog.setObjectName(save ? QStringLiteral("SaveArmiesDialog") : QStringLiteral("OpenArmiesDialog"));
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Added by the dialog itself, so that its question about replacing a
        // file is asked about the file that will be written.
        dialog.setDefaultSuffix(QStringLiteral("json"));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void TMainform::showFileError(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("FileError"));
    box.exec();
}

bool TMainform::confirmReplace(const QString& path) {
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Save Armies"),
        QStringLiteral("\"%1\" already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(path)),
        QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("FileReplace"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TMainform::OpenArmies1Click() {
    const QString path = chooseOpenPath ? chooseOpenPath() : QString();
    if (!path.isEmpty())
        openArmiesFile(path);
}

void TMainform::OpenArmiesAtStart(const QString& path) {
    // Made absolute now, so that its messages name it as the file dialog's
    // choice would be named.
    startArmiesFile_ = QFileInfo(path).absoluteFilePath();
    if (welcomed_)
        openStartFile();
}

void TMainform::openStartFile() {
    const QString path = std::exchange(startArmiesFile_, QString());
    if (!path.isEmpty())
        RunGuarded([this, &path] { openArmiesFile(path); });
}

void TMainform::openArmiesFile(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    auto refuse = [&](const QString& problem) {
        showFileError(QStringLiteral("Open Armies"),
                      QStringLiteral("The armies in \"%1\" could not be opened: %2.\nNothing has been changed.")
                          .arg(shown, problem));
    };
    Players players;
    QString error;
    if (!Document::read(path, &players, &error)) {
        refuse(error);
        return;
    }
    // Asked only now: a file that cannot be opened replaces nothing.
    if (!maybeSave())
        return;
    document_->open(players, path);
    settings::addRecentFile(path);
    settings::setFolderOf(QStringLiteral("armies"), path);
}

void TMainform::SaveArmies1Click() {
    saveArmies(QString());
}

bool TMainform::saveArmies(const QString& known) {
    QString path = known;
    if (path.isEmpty()) {
        path = chooseSavePath ? chooseSavePath() : QString();
        if (path.isEmpty())
            return false;
        if (QFileInfo(path).suffix().isEmpty()) {
            path += QStringLiteral(".json");
            // No file dialog asked about this name: ask before replacing it.
            if (QFileInfo::exists(path) && !confirmReplace(path))
                return false;
        }
    }
    QString error;
    if (!document_->save(path, &error)) {
        showFileError(
            QStringLiteral("Save Armies"),
            QStringLiteral("The armies could not be saved to \"%1\": %2.").arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    settings::addRecentFile(path);
    settings::setFolderOf(QStringLiteral("armies"), path);
    return true;
}

void TMainform::Exit1Click() {
    close();
}

// ---- Unsaved changes and recovery ------------------------------------------------

bool TMainform::maybeSave() {
    if (!document_->isModified())
        return true;
    const QString file = document_->filePath();
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Orb 2.0 Battle Simulator"),
                    file.isEmpty() ? QStringLiteral("The armies have been changed.")
                                   : QStringLiteral("The armies have been changed since \"%1\" was opened or saved.")
                                         .arg(QFileInfo(file).fileName()),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("SaveChanges"));
    box.setInformativeText(QStringLiteral("Do you want to save your changes?"));
    box.setDefaultButton(QMessageBox::Save);
    box.button(QMessageBox::Save)->setObjectName(QStringLiteral("Save"));
    box.button(QMessageBox::Discard)->setObjectName(QStringLiteral("Discard"));
    box.button(QMessageBox::Cancel)->setObjectName(QStringLiteral("Cancel"));
    switch (box.exec()) {
        case QMessageBox::Save:
            return saveArmies(file);
        case QMessageBox::Discard:
            return true;
        default:
            return false;
    }
}

void TMainform::closeEvent(QCloseEvent* event) {
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    if (Battleform && Battleform->isVisible())
        settings::saveGeometry(Battleform);
    document_->close();
    QMainWindow::closeEvent(event);
}

void TMainform::offerRecovery() {
    for (Recovery::Leftover& leftover : document_->recovery().leftovers()) {
        Players players;
        QString error;
        if (!Document::read(leftover.path, &players, &error)) {
            // Nothing in it can be given back; kept, it would be offered at every start.
            leftover.discard();
            continue;
        }
        QMessageBox box(QMessageBox::Question, QStringLiteral("Restore Armies"),
                        QStringLiteral("The simulator did not end properly on %1, and the armies entered then had "
                                       "not been saved.\nDo you want to restore them?")
                            .arg(QLocale().toString(leftover.written, QLocale::ShortFormat)),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("RestoreArmies"));
        box.setInformativeText(QString::fromStdString(Summary(players.player(1)) + "\n" + Summary(players.player(2))));
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Restore"));
        box.button(QMessageBox::Yes)->setObjectName(QStringLiteral("Restore"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Discard"));
        box.button(QMessageBox::No)->setObjectName(QStringLiteral("Discard"));
        box.setDefaultButton(QMessageBox::Yes);
        if (box.exec() != QMessageBox::Yes) {
            leftover.discard();
            continue;
        }
        // Restored armies are unsaved: they stay in this run's recovery file
        // until they are, and any older leftovers wait for the next start.
        document_->restore(players);
        leftover.discard();
        return;
    }
}

// ---- Recent files, dropped files --------------------------------------------

void TMainform::fillRecentMenu() {
    OpenRecent1->clear();
    const QStringList files = settings::recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString& file = files[i];
        QString caption = QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(file));
        caption.replace(QStringLiteral(" &"), QStringLiteral(" &&"));
        QAction* action = OpenRecent1->addAction(caption);
        action->setObjectName(QStringLiteral("Recent%1").arg(i + 1));
        connect(action, &QAction::triggered, this,
                [this, file] { RunGuarded([this, &file] { OpenRecentClick(file); }); });
    }
    OpenRecent1->addSeparator();
    OpenRecent1->addAction(ClearRecent1);
    ClearRecent1->setEnabled(!files.isEmpty());
}

void TMainform::OpenRecentClick(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        settings::removeRecentFile(path);
        showFileError(QStringLiteral("Open Recent"),
                      QStringLiteral("\"%1\" no longer exists. It has been removed from the list of recent files.")
                          .arg(QDir::toNativeSeparators(path)));
        return;
    }
    openArmiesFile(path);
}

void TMainform::ClearRecent1Click() {
    settings::clearRecentFiles();
}

void TMainform::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void TMainform::dropEvent(QDropEvent* event) {
    const QString path = event->mimeData()->urls().value(0).toLocalFile();
    event->acceptProposedAction();
    // Opened once the drop is over: its questions and messages must not
    // keep the program the file came from waiting.
    QTimer::singleShot(0, this, [this, path] { RunGuarded([this, &path] { openArmiesFile(path); }); });
}

// ---- Help ------------------------------------------------------------------

void TMainform::About1Click() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("About Orb Battle Simulator"),
                    QStringLiteral("Orb Battle Simulator, version %1").arg(QCoreApplication::applicationVersion()),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("AboutBox"));
    // Wide enough for the title and the format's name on one line.
    box.setStyleSheet(QStringLiteral("QLabel { min-width: 380px; }"));
    box.setInformativeText(
        QStringLiteral("A battle simulator for the strategy game Orb 2.0: fight two armies once for a full report, "
                       "or many times for the odds.\n\nArmy files: format \"%1\", version %2.")
            .arg(QLatin1String(armyfile::Format))
            .arg(armyfile::Version));
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        box.setIconPixmap(icon.pixmap(64, 64));
    box.exec();
}

void TMainform::HowToPlay1Click() {
    // Kept beside the main window while the player works, as help is read.
    if (!howToPlay_) {
        howToPlay_ = new QDialog(this);
        howToPlay_->setObjectName(QStringLiteral("HowToPlay"));
        howToPlay_->setWindowTitle(QStringLiteral("How to Play"));
        howToPlay_->resize(560, 600);
        auto* layout = new QVBoxLayout(howToPlay_);
        auto* text = new QTextBrowser(howToPlay_);
        text->setObjectName(QStringLiteral("HowToPlayText"));
        QFile help(QStringLiteral(":/how-to-play.html"));
        text->setHtml(help.open(QIODevice::ReadOnly) ? QString::fromUtf8(help.readAll()) : QString());
        layout->addWidget(text);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, howToPlay_);
        buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("Close"));
        connect(buttons, &QDialogButtonBox::rejected, howToPlay_, &QDialog::close);
        layout->addWidget(buttons);
    }
    howToPlay_->show();
    howToPlay_->raise();
    howToPlay_->activateWindow();
}
