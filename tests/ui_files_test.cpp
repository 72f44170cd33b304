// Army files through the main window's File menu: what is saved opens again
// as the same armies, numbers, names and displays; a broken file is refused
// whole with a message that says what and where; a failed save says so.

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenuBar>
#include <QTemporaryDir>
#include <memory>

#include "UiTestSupport.h"
#include "files/ArmyFileIO.h"

using namespace ui_test;

namespace {

const Army& army(int player) {
    return armyOf(player);
}

// Everything a file may change: the players, and what the main window shows
// of them.
struct Snapshot {
    QString number1, number2, name1, name2;
    QStringList display1, display2;
    Players players;
};

Snapshot snapshot() {
    return {Mainform->wizardno1->text(),
            Mainform->wizardno2->text(),
            Mainform->name1->text(),
            Mainform->name2->text(),
            Mainform->display(1).lines(),
            Mainform->display(2).lines(),
            players()};
}

// The first difference between two snapshots; empty if none.
QString difference(const Snapshot& a, const Snapshot& b) {
    if (a.number1 != b.number1 || a.number2 != b.number2)
        return QStringLiteral("numbers %1 %2 / %3 %4").arg(a.number1, a.number2, b.number1, b.number2);
    if (a.name1 != b.name1 || a.name2 != b.name2)
        return QStringLiteral("names %1, %2 / %3, %4").arg(a.name1, a.name2, b.name1, b.name2);
    for (int line = 0; line < ArmyDisplayLines; ++line) {
        if (a.display1.value(line) != b.display1.value(line))
            return QStringLiteral("display 1 line %1: %2 / %3")
                .arg(line)
                .arg(a.display1.value(line), b.display1.value(line));
        if (a.display2.value(line) != b.display2.value(line))
            return QStringLiteral("display 2 line %1: %2 / %3")
                .arg(line)
                .arg(a.display2.value(line), b.display2.value(line));
    }
    for (int p : {1, 2})
        if (!(a.players.player(p) == b.players.player(p)))
            return QStringLiteral("player %1 differs").arg(p);
    return QString();
}

#define COMPARE_STATE(actual, expected)                  \
    do {                                                 \
        const QString d_ = difference(actual, expected); \
        QVERIFY2(d_.isEmpty(), qPrintable(d_));          \
    } while (false)

// The program as it starts: empty armies, the first display headers, the
// first numbers and names.
void freshStart() {
    freshArmies();
    setName(1, QStringLiteral("Nameless 1"));
    setName(2, QStringLiteral("Nameless 2"));
    document().markUnchanged();
}

// ---- Driving the dialogs -------------------------------------------------------

// Adds a kind the catalogue does not know, every value typed by hand. With
// enterInOffense the offense is typed last and Enter pressed in its field, so
// that no exit check replaces it.
void addOwnKindThroughDialog(const QString& player, const QStringList& values, const QString& number,
                             bool enterInOffense = false) {
    bool ran = false;
    whenModal(QStringLiteral("Addform1"), [&](QWidget*) {
        ran = true;
        TAddform1* d = Addform1;
        typeInto(d->Abbreviation, QStringLiteral("ZZZ"));
        const QList<Edit*> fields = {d->Fullname, d->Position,  d->Type,    d->Offense,
                                     d->Defense,  d->Rangedoff, d->Attacks, d->Hitpoints};
        for (int i = 0; i < fields.size(); ++i)
            typeInto(fields[i], values[i]);
        typeInto(d->id, player);
        typeInto(d->Number, number);
        if (enterInOffense) {
            typeInto(d->Offense, values[3]);
            QTest::keyClick(d->Offense, Qt::Key_Return);
        } else {
            QTest::mouseClick(d->okbutton, Qt::LeftButton);
        }
    });
    Mainform->AddUnits2->trigger();
    QVERIFY2(ran, "the add dialog never opened");
    QVERIFY(!Addform1->isVisible());
}

// ---- Files ---------------------------------------------------------------------

// Records the file message box if it shows while the watch lives, and
// closes it with OK. Ends with its scope, so that no watch outlives its test.
class FileErrorWatch {
public:
    FileErrorWatch() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(activeModal());
            if (!box || box->objectName() != QLatin1String("FileError") || !box->isVisible())
                return;
            ++shown;
            title = box->windowTitle();
            text = box->text();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        timer_.start();
    }
    int shown = 0;
    QString title;
    QString text;

private:
    QTimer timer_;
};

void openFile(const QString& path) {
    DiscardChanges discard;
    Mainform->chooseOpenPath = [path] { return path; };
    Mainform->OpenArmies1->trigger();
}

void saveFile(const QString& path) {
    Mainform->chooseSavePath = [path] { return path; };
    Mainform->SaveArmies1->trigger();
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject kindJson(const char* abbreviation, const char* name, const char* position, int offense, int defense,
                     int rangedoff, int attacks, int hitpoints, int number) {
    return QJsonObject{
        {"abbreviation", abbreviation}, {"name", name},       {"position", position},   {"type", "O"},
        {"offense", offense},           {"defense", defense}, {"rangedoff", rangedoff}, {"attacks", attacks},
        {"hitpoints", hitpoints},       {"number", number}};
}

// A good file: 20 archers and 5 golden dragons against 30 knights.
QJsonObject goodFile(const QString& number1 = QStringLiteral("5"), const QString& name1 = QStringLiteral("Morgana"),
                     const QString& number2 = QStringLiteral("9"), const QString& name2 = QStringLiteral("Aldric")) {
    const QJsonArray kinds1 = {kindJson("ARC", "Archers", "R", 1, 0, 2, 1, 1, 20),
                               kindJson("GOD", "Golden Dragons", "G", 10, 15, 4, 8, 6, 5)};
    const QJsonArray kinds2 = {kindJson("KNI", "Knights", "M", 4, 4, 0, 1, 2, 30)};
    return QJsonObject{{"format", "orb-battle-armies"},
                       {"version", 1},
                       {"players", QJsonArray{QJsonObject{{"number", number1}, {"name", name1}, {"kinds", kinds1}},
                                              QJsonObject{{"number", number2}, {"name", name2}, {"kinds", kinds2}}}}};
}

QByteArray bytes(const QJsonObject& root) {
    return QJsonDocument(root).toJson();
}

using Change = std::function<void(QJsonObject&)>;

QJsonObject changed(QJsonObject root, const Change& change) {
    change(root);
    return root;
}

// The good file with one player's object changed.
QByteArray withPlayer(int player, const Change& change) {
    QJsonObject root = goodFile();
    QJsonArray players = root.value("players").toArray();
    QJsonObject p = players[player - 1].toObject();
    change(p);
    players[player - 1] = p;
    root["players"] = players;
    return bytes(root);
}

// The good file with one kind of one player changed.
QByteArray withKind(int player, int kind, const Change& change) {
    return withPlayer(player, [&](QJsonObject& p) {
        QJsonArray kinds = p.value("kinds").toArray();
        QJsonObject k = kinds[kind - 1].toObject();
        change(k);
        kinds[kind - 1] = k;
        p["kinds"] = kinds;
    });
}

Change set(const char* key, const QJsonValue& value) {
    return [=](QJsonObject& o) { o[QLatin1String(key)] = value; };
}

Change drop(const char* key) {
    return [=](QJsonObject& o) { o.remove(QLatin1String(key)); };
}

QJsonArray manyKinds(int count) {
    QJsonArray kinds;
    for (int i = 0; i < count; ++i) {
        const QByteArray name = "Band " + QByteArray::number(i + 1);
        kinds.append(kindJson("BND", name.constData(), i % 2 ? "F" : "M", 3, 3, 0, 1, 1, i + 1));
    }
    return kinds;
}

// Goes to a folder in a file dialog, types a file name and accepts, as its
// Open or Save button does; a dialog that refuses is cancelled.
void chooseInFileDialog(QFileDialog* dialog, const QString& folder, const QString& name) {
    dialog->setDirectory(folder);
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(name);
    static_cast<QDialog*>(dialog)->accept();
    if (dialog->isVisible()) {
        dialog->reject();
        QFAIL(qPrintable("the file dialog refused " + name));
    }
}

}  // namespace

class ArmyFilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    // The file dialogs the program asks with, before the tests replace them.
    std::function<QString()> defaultOpen_;
    std::function<QString()> defaultSave_;

    QString path(const QString& name) const { return dir_.filePath(name); }
    // The program as it showed its welcome window and as it was right after,
    // started with an army file.
    Snapshot atWelcome_;
    Snapshot started_;

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // As `orbsimulator start.json` starts, in the file's folder.
        QVERIFY(writeFile(path("start.json"), bytes(goodFile())));
        QVERIFY(QDir::setCurrent(dir_.path()));
        startProgram(QStringLiteral("start.json"), [this] { atWelcome_ = snapshot(); });
        QTRY_COMPARE(Mainform->name1->text(), QStringLiteral("Morgana"));
        started_ = snapshot();
        defaultOpen_ = Mainform->chooseOpenPath;
        defaultSave_ = Mainform->chooseSavePath;
    }
    void init() { freshStart(); }

    void fileMenuComesFirstAndTheOthersStay() {
        const QList<QAction*> bar = Mainform->menuBar()->actions();
        QVERIFY(!bar.isEmpty());
        QCOMPARE(bar.first()->menu(), Mainform->File1);
        QCOMPARE(Mainform->File1->objectName(), QStringLiteral("File1"));
        QCOMPARE(Mainform->File1->title(), QStringLiteral("File"));

        QStringList menus;
        for (QAction* a : bar) {
            QStringList items;
            for (QAction* item : a->menu()->actions())
                if (!item->isSeparator())
                    items << item->text() +
                                 (item->shortcut().isEmpty() ? QString() : " [" + item->shortcut().toString() + "]");
            menus << a->text() + ": " + items.join(QStringLiteral(", "));
        }
        QCOMPARE(
            menus,
            QStringList({QStringLiteral("File: Open Armies... [Ctrl+O], Open Recent, Save Armies... [Ctrl+S], Exit"),
                         QStringLiteral("General Options: Modify Army Info, Change General Options"),
                         QStringLiteral("Unit Options: Add Units, Remove Units, Modify Units"),
                         QStringLiteral("Hero Options: Add Heroes, Modify Heroes, Remove Heroes, "
                                        "Transfer Units to Heroes, Transfer Units from Heroes"),
                         QStringLiteral("Tools: Find the Force Needed... [Ctrl+F]"),
                         QStringLiteral("Help: How to Play... [F1], About Orb Battle Simulator")}));
        QCOMPARE(Mainform->findChild<QAction*>("OpenArmies1"), Mainform->OpenArmies1);
        QCOMPARE(Mainform->findChild<QAction*>("SaveArmies1"), Mainform->SaveArmies1);
        QCOMPARE(Mainform->findChild<QAction*>("Exit1"), Mainform->Exit1);
    }

    // A file named on the command line opens once the welcome window has
    // been read, exactly as "Open Armies..." opens it.
    void commandLineFileOpensAfterTheWelcome() {
        COMPARE_STATE(atWelcome_, snapshot());
        openFile(path("start.json"));
        COMPARE_STATE(started_, snapshot());
    }

    // A bad or missing file on the command line gets the message "Open
    // Armies..." gives for it, and changes nothing.
    void commandLineBadFileSaysWhatOpenSays() {
        openFile(path("start.json"));
        const Snapshot before = snapshot();
        QVERIFY(writeFile(path("bad.json"), withKind(1, 2, set("position", "X"))));
        for (const QString name : {"bad.json", "missing.json"}) {
            QString menuText;
            {
                FileErrorWatch seen;
                openFile(path(name));
                QCOMPARE(seen.shown, 1);
                menuText = seen.text;
            }
            FileErrorWatch seen;
            Mainform->OpenArmiesAtStart(name);
            QCOMPARE(seen.shown, 1);
            QCOMPARE(seen.title, QStringLiteral("Open Armies"));
            QCOMPARE(seen.text, menuText);
            COMPARE_STATE(snapshot(), before);
        }
    }

    // Armies typed into the dialogs, saved, then spoiled or started afresh:
    // opening the file brings back exactly what was saved.
    void savedArmiesOpenAsEntered() {
        addThroughDialog("1", "ARC", "20");
        addThroughDialog("2", "KNI", "30");
        addOwnKindThroughDialog("1", {"Stone Giants", "G", "U", "7", "9", "3", "2", "4"}, "12");
        addThroughDialog("1", "GOD", "5");
        addThroughDialog("2", "HKN", "8");
        changeInfoThroughDialog("7", "Morgana le Fay", "2", "Aldric");
        QCOMPARE(Mainform->wizardno1->text(), QStringLiteral("7"));
        QCOMPARE(Mainform->name1->text(), QStringLiteral("Morgana le Fay"));
        QCOMPARE(army(1).kindCount(), 3);
        QCOMPARE(army(2).kindCount(), 2);
        QCOMPARE(QString::fromStdString(army(1).unittypes[1].Fullname), QStringLiteral("Stone Giants"));
        const Snapshot saved = snapshot();

        // No suffix given: the file gets ".json".
        FileErrorWatch error;
        saveFile(path("battle"));
        QCOMPARE(error.shown, 0);
        QVERIFY(QFile::exists(path("battle.json")));
        QVERIFY(!QFile::exists(path("battle")));
        COMPARE_STATE(snapshot(), saved);  // saving changes nothing

        // Everything changed after the save.
        changeInfoThroughDialog("3", "Someone Else", "4", "Another");
        addThroughDialog("3", "KNI", "11");
        addThroughDialog("4", "ARC", "50");
        QVERIFY(document().removeKind(2, 0));
        openFile(path("battle.json"));
        QCOMPARE(error.shown, 0);
        COMPARE_STATE(snapshot(), saved);
        QCOMPARE(QString::fromStdString(army(1).checkInvariants()), QString());
        QCOMPARE(QString::fromStdString(army(2).checkInvariants()), QString());

        // As after a fresh start of the program.
        freshStart();
        openFile(path("battle.json"));
        QCOMPARE(error.shown, 0);
        COMPARE_STATE(snapshot(), saved);

        // The dialogs go on from the opened armies: player 7's next kind
        // takes the next line of the upper display.
        addThroughDialog("7", "KNI", "3");
        QCOMPARE(army(1).kindCount(), 4);
        QVERIFY(Mainform->display(1).line(4).startsWith(QStringLiteral("Knights : 3  (")));
        QCOMPARE(Mainform->display(1).line(5), QString());
    }

    // A file's numbers and names are displayed as the army info dialog
    // writes them; every kind's line as the add dialog writes it.
    void openedFileShowsAsTheDialogsWrite() {
        QVERIFY(writeFile(path("good.json"), bytes(goodFile("07", "Morgana", "9", "Aldric"))));
        openFile(path("good.json"));
        QCOMPARE(Mainform->wizardno1->text(), QStringLiteral("07"));
        QCOMPARE(Mainform->wizardno2->text(), QStringLiteral("9"));
        QCOMPARE(Mainform->name1->text(), QStringLiteral("Morgana"));
        QCOMPARE(Mainform->name2->text(), QStringLiteral("Aldric"));
        QCOMPARE(Mainform->display(1).lines().mid(0, 4),
                 QStringList({"ARMY DISPLAY OF PLAYER 07", "Archers : 20  (O:1 D:0 R:2 A:1 H:1)",
                              "Golden Dragons : 5  (O:10 D:15 R:4 A:8 H:6)", QString()}));
        QCOMPARE(Mainform->display(2).lines().mid(0, 3),
                 QStringList({"ARMY DISPLAY OF PLAYER 9", "Knights : 30  (O:4 D:4 R:0 A:1 H:2)", QString()}));
        QCOMPARE(army(1).currentSize, 25);
        QCOMPARE(army(2).currentSize, 30);
        for (int k = 0; k < 2; ++k)
            QCOMPARE(army(1).unittypes[k].SimCasualties, 0);

        // Forty kinds fill the display to its last line.
        QVERIFY(writeFile(path("forty.json"), bytes(changed(goodFile(), [](QJsonObject& root) {
                              QJsonArray players = root["players"].toArray();
                              QJsonObject p = players[1].toObject();
                              p["kinds"] = manyKinds(40);
                              players[1] = p;
                              root["players"] = players;
                          }))));
        openFile(path("forty.json"));
        QCOMPARE(army(2).kindCount(), 40);
        QCOMPARE(Mainform->display(2).line(1), QStringLiteral("Band 1 : 1  (O:3 D:3 R:0 A:1 H:1)"));
        QCOMPARE(Mainform->display(2).line(40), QStringLiteral("Band 40 : 40  (O:3 D:3 R:0 A:1 H:1)"));
        QCOMPARE(QString::fromStdString(army(2).checkInvariants()), QString());

        // A smaller file empties the lines of the kinds it lacks; an army
        // without kinds shows its header alone.
        QVERIFY(writeFile(path("small.json"), bytes(changed(goodFile(), [](QJsonObject& root) {
                              QJsonArray players = root["players"].toArray();
                              QJsonObject p = players[1].toObject();
                              p["kinds"] = QJsonArray();
                              players[1] = p;
                              root["players"] = players;
                          }))));
        openFile(path("small.json"));
        QCOMPARE(army(2).currentSize, 0);
        QCOMPARE(army(2).kindCount(), 0);
        QCOMPARE(Mainform->display(2).lines().mid(0, 2), QStringList({"ARMY DISPLAY OF PLAYER 9", QString()}));
        QCOMPARE(Mainform->display(2).lines().mid(1).join(QString()), QString());
    }

    // Each rule of a file, broken once: the file is refused with a message
    // naming the problem and where, and nothing changes.
    void brokenFilesChangeNothing() {
        QVERIFY(writeFile(path("start.json"), bytes(goodFile("3", "First", "4", "Second"))));
        openFile(path("start.json"));
        const Snapshot before = snapshot();
        QCOMPARE(before.name1, QStringLiteral("First"));

        const QByteArray good = bytes(goodFile());
        QJsonObject tooMany = goodFile();
        {
            QJsonArray players = tooMany["players"].toArray();
            QJsonObject p = players[0].toObject();
            p["kinds"] = manyKinds(41);
            players[0] = p;
            tooMany["players"] = players;
        }
        struct Case {
            const char* label;
            QByteArray content;
            QString message;
        };
        const std::vector<Case> cases = {
            {"empty file", QByteArray(), "not JSON: "},
            {"truncated", good.left(good.size() / 2), "not JSON: "},
            {"list at top", "[1, 2]", "not an army file: the top level is not a JSON object"},
            {"no format", bytes(changed(goodFile(), drop("format"))), "not an army file: \"format\" is missing"},
            {"format not text", bytes(changed(goodFile(), set("format", 1))),
             "not an army file: \"format\" must be the text \"orb-battle-armies\""},
            {"unknown format", bytes(changed(goodFile(), set("format", "orb-armies-2"))),
             "unknown format \"orb-armies-2\""},
            {"no version", bytes(changed(goodFile(), drop("version"))), "\"version\" is missing"},
            {"version as text", bytes(changed(goodFile(), set("version", "1"))), "\"version\" must be a whole number"},
            {"newer version", bytes(changed(goodFile(), set("version", 2))), "version 2 is not supported"},
            {"no players", bytes(changed(goodFile(), drop("players"))), "\"players\" is missing"},
            {"players not a list", bytes(changed(goodFile(), set("players", QJsonObject()))),
             "\"players\" must be a list of two players"},
            {"one player",
             bytes(changed(goodFile(),
                           [](QJsonObject& root) {
                               QJsonArray players = root["players"].toArray();
                               players.removeLast();
                               root["players"] = players;
                           })),
             "\"players\" must hold exactly 2 players, not 1"},
            {"player not an object",
             bytes(changed(goodFile(),
                           [](QJsonObject& root) {
                               QJsonArray players = root["players"].toArray();
                               players[1] = 2;
                               root["players"] = players;
                           })),
             "player 2 must be a JSON object"},
            {"number missing", withPlayer(1, drop("number")), "player 1: \"number\" is missing"},
            {"number not text", withPlayer(1, set("number", 5)),
             "player 1: \"number\" must be a text of 1 or 2 characters reading as a whole number from 1 to 99"},
            {"number zero", withPlayer(2, set("number", "0")), "player 2: \"number\" must be a text of 1 or 2"},
            {"number too long", withPlayer(2, set("number", "100")), "player 2: \"number\" must be a text of 1 or 2"},
            {"number not a number", withPlayer(1, set("number", "x")), "player 1: \"number\" must be a text of 1 or 2"},
            {"same numbers", withPlayer(2, set("number", "5")), "players 1 and 2 both have the number \"5\""},
            {"same number read", withPlayer(2, set("number", "05")),
             "players 1 and 2 have the same number (\"5\" and \"05\" both read as 5)"},
            {"name empty", withPlayer(2, set("name", "")), "player 2: \"name\" must be a text of 1 to 30 characters"},
            {"name too long", withPlayer(1, set("name", QString(31, QLatin1Char('n')))),
             "player 1: \"name\" must be a text of 1 to 30 characters"},
            {"name with line break", withPlayer(1, set("name", "Mor\ngana")),
             "player 1: \"name\" must not hold line breaks or other control characters"},
            {"kinds missing", withPlayer(2, drop("kinds")), "player 2: \"kinds\" is missing"},
            {"kinds not a list", withPlayer(2, set("kinds", "KNI")), "player 2: \"kinds\" must be a list of kinds"},
            {"41 kinds", bytes(tooMany), "player 1: \"kinds\" holds 41 kinds; an army holds at most 40"},
            {"kind not an object",
             withPlayer(1,
                        [](QJsonObject& p) {
                            QJsonArray kinds = p["kinds"].toArray();
                            kinds[1] = QJsonArray();
                            p["kinds"] = kinds;
                        }),
             "player 1, kind 2 must be a JSON object"},
            {"kind name missing", withKind(1, 2, drop("name")), "player 1, kind 2: \"name\" is missing"},
            {"kind name empty", withKind(2, 1, set("name", "")),
             "player 2, kind 1: \"name\" must be a text of 1 to 30 characters"},
            {"abbreviation too long", withKind(1, 1, set("abbreviation", "ARCH")),
             "player 1, kind 1 (\"Archers\"): \"abbreviation\" must be a text of at most 3 characters"},
            {"unknown position", withKind(1, 2, set("position", "X")),
             "player 1, kind 2 (\"Golden Dragons\"): \"position\" must be one of F, G, B, R, M"},
            {"lower-case position", withKind(1, 2, set("position", "g")),
             "player 1, kind 2 (\"Golden Dragons\"): \"position\" must be one of F, G, B, R, M"},
            {"unknown type", withKind(2, 1, set("type", "Z")),
             "player 2, kind 1 (\"Knights\"): \"type\" must be one of O, S, U, H"},
            {"offense as text", withKind(1, 1, set("offense", "1")),
             "player 1, kind 1 (\"Archers\"): \"offense\" must be a whole number from 0 to 999"},
            {"offense fraction", withKind(1, 1, set("offense", 1.5)),
             "player 1, kind 1 (\"Archers\"): \"offense\" must be a whole number from 0 to 999"},
            {"defense negative", withKind(1, 2, set("defense", -1)),
             "player 1, kind 2 (\"Golden Dragons\"): \"defense\" must be a whole number from 0 to 999"},
            {"ranged offense too high", withKind(2, 1, set("rangedoff", 1000)),
             "player 2, kind 1 (\"Knights\"): \"rangedoff\" must be a whole number from 0 to 999"},
            {"no attacks", withKind(2, 1, set("attacks", 0)),
             "player 2, kind 1 (\"Knights\"): \"attacks\" must be a whole number from 1 to 999"},
            {"no hit points", withKind(1, 1, set("hitpoints", 0)),
             "player 1, kind 1 (\"Archers\"): \"hitpoints\" must be a whole number from 1 to 999"},
            {"hit points missing", withKind(1, 1, drop("hitpoints")),
             "player 1, kind 1 (\"Archers\"): \"hitpoints\" is missing"},
            {"no units", withKind(2, 1, set("number", 0)),
             "player 2, kind 1 (\"Knights\"): \"number\" must be a whole number from 1 to 9999"},
            {"too many units", withKind(2, 1, set("number", 10000)),
             "player 2, kind 1 (\"Knights\"): \"number\" must be a whole number from 1 to 9999"},
            {"units as null", withKind(2, 1, set("number", QJsonValue())),
             "player 2, kind 1 (\"Knights\"): \"number\" must be a whole number from 1 to 9999"},
        };
        for (const Case& c : cases) {
            const QString file = path(QStringLiteral("broken.json"));
            QVERIFY2(writeFile(file, c.content), c.label);
            FileErrorWatch seen;
            openFile(file);
            QVERIFY2(seen.shown == 1, c.label);
            QCOMPARE(seen.title, QStringLiteral("Open Armies"));
            const QString expected =
                QStringLiteral("The armies in \"%1\" could not be opened: ").arg(QDir::toNativeSeparators(file)) +
                c.message;
            QVERIFY2(seen.text.startsWith(expected), qPrintable(QString::fromLatin1(c.label) + ": " + seen.text));
            QVERIFY2(seen.text.endsWith(QStringLiteral(".\nNothing has been changed.")), c.label);
            const QString d = difference(snapshot(), before);
            QVERIFY2(d.isEmpty(), qPrintable(QString::fromLatin1(c.label) + ": " + d));
        }

        // What is not a readable file at all.
        const std::vector<std::pair<QString, QString>> unreadable = {
            {path("missing.json"), "cannot open the file: "},
            {dir_.path(), "cannot open the file: it is a directory"},
        };
        for (const auto& [file, message] : unreadable) {
            FileErrorWatch seen;
            openFile(file);
            QVERIFY2(seen.shown == 1, qPrintable(file));
            QVERIFY2(seen.text.contains(QStringLiteral("could not be opened: ") + message), qPrintable(seen.text));
            COMPARE_STATE(snapshot(), before);
        }
    }

    void failedSaveSaysSoAndChangesNothing() {
        QVERIFY(writeFile(path("start.json"), bytes(goodFile())));
        openFile(path("start.json"));
        const Snapshot before = snapshot();
        const QString file = path("no such folder/armies.json");
        auto seen = std::make_unique<FileErrorWatch>();
        saveFile(file);
        QCOMPARE(seen->shown, 1);
        QCOMPARE(seen->title, QStringLiteral("Save Armies"));
        QVERIFY2(
            seen->text.startsWith(QStringLiteral("The armies could not be saved to \"%1\": cannot write the file: ")
                                      .arg(QDir::toNativeSeparators(file))),
            qPrintable(seen->text));
        QVERIFY(!QFile::exists(file));
        QVERIFY(!QFileInfo::exists(path("no such folder")));
        COMPARE_STATE(snapshot(), before);

        // Armies no file can hold are refused before anything is written:
        // the add dialog takes an offense of 2.5 when Enter is pressed in
        // its field, a file only whole values.
        addOwnKindThroughDialog("5", {"Half Men", "F", "O", "2.5", "1", "0", "1", "1"}, "3", true);
        QCOMPARE(army(1).unittypes[2].Offense, 2.5);
        const QString kept = path("kept.json");
        QVERIFY(writeFile(kept, "old contents"));
        seen = std::make_unique<FileErrorWatch>();
        saveFile(kept);
        QCOMPARE(seen->shown, 1);
        QVERIFY2(
            seen->text.contains(QStringLiteral(
                "the armies cannot be saved: player 1, kind 3 (\"Half Men\"): \"offense\" must be a whole number")),
            qPrintable(seen->text));
        QCOMPARE(readFile(kept), QByteArray("old contents"));
    }

    // A name without a suffix gets ".json"; since no dialog asked about that
    // file, replacing it is asked here.
    void saveAsksBeforeReplacingAnAddedSuffixFile() {
        QVERIFY(writeFile(path("start.json"), bytes(goodFile())));
        openFile(path("start.json"));
        const QString target = path("replace.json");
        QVERIFY(writeFile(target, "older armies"));

        for (const auto& [answer, replaced] : {std::pair{QMessageBox::No, false}, std::pair{QMessageBox::Yes, true}}) {
            QString question;
            bool asked = false;
            whenModal(QStringLiteral("FileReplace"), [&, answer = answer](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                asked = true;
                question = box->text();
                QTest::mouseClick(box->button(answer), Qt::LeftButton);
            });
            saveFile(path("replace"));
            QVERIFY(asked);
            QCOMPARE(question, QStringLiteral("\"%1\" already exists.\nDo you want to replace it?")
                                   .arg(QDir::toNativeSeparators(target)));
            QCOMPARE(readFile(target) == "older armies", !replaced);
        }
        armyfile::ArmySetup setup;
        QVERIFY(armyfile::LoadArmies(target, &setup, nullptr));
        QCOMPARE(setup.players[0].name, std::string("Morgana"));

        // A path given whole is written as given, and a cancelled choice
        // (the empty path) does nothing at all.
        saveFile(path("plain.armies"));
        QVERIFY(QFile::exists(path("plain.armies")));
        const Snapshot before = snapshot();
        saveFile(QString());
        openFile(QString());
        COMPARE_STATE(snapshot(), before);
    }

    // The keyboard shortcuts and the file dialogs the menu items open.
    void shortcutsOpenTheFileDialogs() {
        QVERIFY(writeFile(path("keys.json"), bytes(goodFile("8", "Keyboard", "9", "Mouse"))));
        const auto testOpen = Mainform->chooseOpenPath;
        const auto testSave = Mainform->chooseSavePath;
        Mainform->chooseOpenPath = defaultOpen_;
        Mainform->chooseSavePath = defaultSave_;

        Mainform->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(Mainform));
        // The real dialogs: a name typed into them, without a suffix for the
        // save, which the dialog completes.
        QString saveTitle;
        whenModal(QStringLiteral("OpenArmiesDialog"), [&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
            chooseInFileDialog(dialog, dir_.path(), QStringLiteral("keys.json"));
        });
        QTest::keyClick(Mainform, Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(Mainform->name1->text(), QStringLiteral("Keyboard"));

        whenModal(QStringLiteral("SaveArmiesDialog"), [&](QWidget* w) {
            saveTitle = w->windowTitle();
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->nameFilters(), QStringList({QStringLiteral("Orb armies (*.json)")}));
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            chooseInFileDialog(dialog, dir_.path(), QStringLiteral("typed"));
        });
        // The offscreen platform has no window manager to give the
        // activation back once the dialog is gone.
        Mainform->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(Mainform));
        QTest::keyClick(Mainform, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(QFile::exists(path("typed.json")));
        QCOMPARE(saveTitle, QStringLiteral("Save Armies"));
        Mainform->chooseOpenPath = testOpen;
        Mainform->chooseSavePath = testSave;
    }

    // A battle report fought after opening names the file's wizards and
    // lists the file's armies.
    void battleReportFollowsTheFile() {
        for (const auto& [number1, name1, number2, name2] :
             {std::tuple{"5", "Morgana", "9", "Aldric"}, std::tuple{"12", "Nimue", "3", "Uther"}}) {
            QVERIFY(writeFile(path("report.json"), bytes(goodFile(number1, name1, number2, name2))));
            openFile(path("report.json"));
            QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
            QTRY_VERIFY(Battleform->isVisible());
            QCOMPARE(Battleform->column(0).line(1), QStringLiteral("Wizard %1 : %2").arg(number1, name1));
            QCOMPARE(Battleform->column(1).line(1), QStringLiteral("Wizard %1 : %2").arg(number2, name2));
            QCOMPARE(Battleform->column(0).line(4), QStringLiteral("Archers      :     20"));
            QCOMPARE(Battleform->column(0).line(5), QStringLiteral("Golden Dragons      :     5"));
            QCOMPARE(Battleform->column(1).line(4), QStringLiteral("Knights      :     30"));
            Battleform->hide();
        }
    }

    // Last: Exit closes the main window, and nothing left open keeps the
    // program running.
    void exitClosesTheMainWindow() {
        QVERIFY(writeFile(path("exit.json"), bytes(goodFile())));
        openFile(path("exit.json"));
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        QVERIFY(Mainform->isVisible());
        Mainform->Exit1->trigger();
        QVERIFY(!Mainform->isVisible());
        QVERIFY(QApplication::quitOnLastWindowClosed());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible() || w->parentWidget(), qPrintable(w->objectName()));
    }
};

QTEST_MAIN(ArmyFilesTest)
#include "ui_files_test.moc"
