// Army files: what is saved opens again as the same armies, and a file that
// breaks any rule is refused whole with a message that says where.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

#include "army/Army.h"
#include "army/Catalogue.h"
#include "files/ArmyFileIO.h"

using namespace armyfile;

namespace {

KindValues catalogueKind(std::string_view abbreviation) {
    const CatalogueRow* row = Unitcatalogue::find(abbreviation);
    EXPECT_NE(row, nullptr) << abbreviation;
    if (!row)
        return {};
    KindValues v = Unitcatalogue::values(*row);
    v.Abbreviation = std::string(abbreviation);  // as typed, like the dialog
    return v;
}

KindValues handKind(std::string name, std::string abbreviation, std::string position, std::string type, double off,
                    double def, double rof, int32_t att, int32_t hit) {
    return {std::move(name), std::move(abbreviation), std::move(position), std::move(type), off, def, rof, att, hit};
}

void add(Army& army, const KindValues& v, int32_t n) {
    ASSERT_EQ(army.AddKind(v, n), Army::AddResult::Added);
}

void expectSameArmy(const Army& a, const Army& b) {
    EXPECT_EQ(a.checkInvariants(), "");
    EXPECT_EQ(b.checkInvariants(), "");
    EXPECT_TRUE(a == b);
    EXPECT_EQ(a.maxSize, b.maxSize);
    // Built the same way, kind by kind, the soldiers stand in the same order.
    for (int32_t i = 0; i < a.currentSize; ++i) {
        EXPECT_EQ(a.units[i].Typeindex, b.units[i].Typeindex) << "unit " << i;
        EXPECT_EQ(a.units[i].Hitpoints, b.units[i].Hitpoints) << "unit " << i;
    }
}

ArmySetup setupOf(const Army& one, const std::string& number1, const std::string& name1, const Army& two,
                  const std::string& number2, const std::string& name2) {
    Players players;
    players.player(1) = {number1, name1, one};
    players.player(2) = {number2, name2, two};
    return SetupOf(players);
}

// Two armies covering every position and type, a shooter outside "R", an
// empty and a lower-case abbreviation, a name of the greatest length and
// one with letters beyond ASCII.
void buildSample(Army& one, Army& two) {
    add(one, catalogueKind("arc"), 20);
    add(one, catalogueKind("GOD"), 5);
    add(one, catalogueKind("JES"), 3);
    add(one, catalogueKind("MRI"), 9999);
    add(one, handKind(std::string(30, 'N'), "", "F", "H", 999, 0, 999, 999, 999), 1);
    add(two, catalogueKind("ZOM"), 12);
    add(two, catalogueKind("PHA"), 4);
    add(two, handKind("Schwäne über Åland", "swa", "G", "S", 3, 2, 1, 1, 1), 7);
    add(two, catalogueKind("APP"), 2);
    add(two, catalogueKind("SKE"), 40);
}

QJsonObject validKind() {
    return QJsonObject{{"abbreviation", "arc"}, {"name", "Archers"}, {"position", "R"}, {"type", "O"},
                       {"offense", 1},          {"defense", 0},      {"rangedoff", 2},  {"attacks", 1},
                       {"hitpoints", 1},        {"number", 20}};
}

QJsonObject validFile() {
    QJsonObject knights = validKind();
    knights["abbreviation"] = "KNI";
    knights["name"] = "Knights";
    knights["position"] = "M";
    knights["offense"] = 4;
    knights["defense"] = 4;
    knights["rangedoff"] = 0;
    knights["hitpoints"] = 2;
    knights["number"] = 15;
    const QJsonObject p1{{"number", "1"}, {"name", "Nameless 1"}, {"kinds", QJsonArray{validKind()}}};
    const QJsonObject p2{
        {"number", "2"}, {"name", "Nameless 2"}, {"kinds", QJsonArray{validKind(), validKind(), knights}}};
    return QJsonObject{{"format", "orb-battle-armies"}, {"version", 1}, {"players", QJsonArray{p1, p2}}};
}

QByteArray bytes(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// The reader as the windows see its messages.
bool FromJson(std::string_view json, ArmySetup* out, QString* error) {
    std::string message;
    const bool read = armyfile::FromJson(json, out, &message);
    *error = QString::fromStdString(message);
    return read;
}
bool FromJson(const QByteArray& json, ArmySetup* out, QString* error) {
    return FromJson(std::string_view(json.constData(), static_cast<size_t>(json.size())), out, error);
}

// Edits one field of a kind (0-based player and kind) in a file object.
void setKindField(QJsonObject& file, int player, int kind, const char* key, const QJsonValue& value) {
    QJsonArray players = file["players"].toArray();
    QJsonObject p = players[player].toObject();
    QJsonArray kinds = p["kinds"].toArray();
    QJsonObject k = kinds[kind].toObject();
    if (value.isUndefined())
        k.remove(key);
    else
        k[key] = value;
    kinds[kind] = k;
    p["kinds"] = kinds;
    players[player] = p;
    file["players"] = players;
}

void setPlayerField(QJsonObject& file, int player, const char* key, const QJsonValue& value) {
    QJsonArray players = file["players"].toArray();
    QJsonObject p = players[player].toObject();
    if (value.isUndefined())
        p.remove(key);
    else
        p[key] = value;
    players[player] = p;
    file["players"] = players;
}

// A setup that no file yields, to see that a refused file leaves it alone.
ArmySetup sentinel() {
    ArmySetup s;
    s.players[0].number = "sentinel";
    s.players[1].name = "untouched";
    s.players[1].kinds.push_back(KindSetup{handKind("Marker", "MRK", "F", "O", 1, 1, 0, 1, 1), 77});
    return s;
}

void expectSentinel(const ArmySetup& s) {
    EXPECT_EQ(s.players[0].number, "sentinel");
    EXPECT_EQ(s.players[1].name, "untouched");
    ASSERT_EQ(s.players[1].kinds.size(), 1u);
    EXPECT_EQ(s.players[1].kinds[0].number, 77);
    EXPECT_TRUE(s.players[0].kinds.empty());
}

QString readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

}  // namespace

// ---- Round trip ---------------------------------------------------------------

TEST(ArmyFileRoundTrip, ArmiesComeBackEqual) {
    Army one, two;
    buildSample(one, two);
    const ArmySetup setup = setupOf(one, "07", "Gandalf the Grey, Wizard of Ol", two, "2", " ");
    EXPECT_EQ(Check(setup), "");

    ArmySetup loaded;
    QString error;
    ASSERT_TRUE(FromJson(ToJson(setup), &loaded, &error)) << error.toStdString();
    EXPECT_EQ(loaded.players[0].number, "07");  // the zero stays
    EXPECT_EQ(loaded.players[0].name, "Gandalf the Grey, Wizard of Ol");
    EXPECT_EQ(loaded.players[1].number, "2");
    EXPECT_EQ(loaded.players[1].name, " ");
    ASSERT_EQ(loaded.players[0].kinds.size(), 5u);
    ASSERT_EQ(loaded.players[1].kinds.size(), 5u);
    EXPECT_EQ(loaded.players[0].kinds[0].values.Abbreviation, "arc");
    EXPECT_EQ(loaded.players[0].kinds[4].values.Abbreviation, "");
    EXPECT_EQ(loaded.players[1].kinds[2].values.Fullname, "Schwäne über Åland");

    Army back1, back2;
    ASSERT_TRUE(BuildArmy(loaded.players[0], &back1));
    ASSERT_TRUE(BuildArmy(loaded.players[1], &back2));
    expectSameArmy(one, back1);
    expectSameArmy(two, back2);

    // Written again, the file is the same text.
    EXPECT_EQ(ToJson(loaded), ToJson(setup));
}

TEST(ArmyFileRoundTrip, SaveAndLoadThroughAFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Army one, two;
    buildSample(one, two);
    const QString path = dir.filePath("armies.json");
    QString error;
    ASSERT_TRUE(SaveArmies(path, setupOf(one, "1", "A", two, "99", "B"), &error)) << error.toStdString();

    ArmySetup loaded;
    ASSERT_TRUE(LoadArmies(path, &loaded, &error)) << error.toStdString();
    Army back1, back2;
    ASSERT_TRUE(BuildArmy(loaded.players[0], &back1));
    ASSERT_TRUE(BuildArmy(loaded.players[1], &back2));
    expectSameArmy(one, back1);
    expectSameArmy(two, back2);
    EXPECT_EQ(loaded.players[1].number, "99");
}

TEST(ArmyFileRoundTrip, EmptyArmiesAndTheLimits) {
    // An empty army has a free kind 0, which is not a kind of the file.
    Army empty1, empty2;
    const ArmySetup none = setupOf(empty1, "1", "A", empty2, "2", "B");
    EXPECT_TRUE(none.players[0].kinds.empty());
    ArmySetup loaded;
    QString error;
    ASSERT_TRUE(FromJson(ToJson(none), &loaded, &error)) << error.toStdString();
    Army back;
    ASSERT_TRUE(BuildArmy(loaded.players[0], &back));
    expectSameArmy(empty1, back);

    // Forty kinds, the most an army holds, pass.
    Army full;
    for (int k = 0; k < Army::maxTypes; ++k)
        add(full, catalogueKind("SPE"), 1 + k);
    ASSERT_TRUE(FromJson(ToJson(setupOf(full, "1", "A", empty2, "2", "B")), &loaded, &error)) << error.toStdString();
    ASSERT_TRUE(BuildArmy(loaded.players[0], &back));
    expectSameArmy(full, back);
}

TEST(ArmyFileRoundTrip, AcceptsWhatTheDialogsAccept) {
    struct Case {
        const char* what;
        std::function<void(QJsonObject&)> edit;
    };
    const std::vector<Case> cases = {
        {"whole numbers written as reals", [](QJsonObject& f) { setKindField(f, 0, 0, "attacks", 1.0); }},
        {"number 9999", [](QJsonObject& f) { setKindField(f, 0, 0, "number", 9999); }},
        {"values 999", [](QJsonObject& f) { setKindField(f, 0, 0, "offense", 999); }},
        {"empty abbreviation", [](QJsonObject& f) { setKindField(f, 0, 0, "abbreviation", ""); }},
        {"no kinds", [](QJsonObject& f) { setPlayerField(f, 1, "kinds", QJsonArray{}); }},
        {"numbers 07 and 7",
         [](QJsonObject& f) {
             setPlayerField(f, 0, "number", "07");
             setPlayerField(f, 1, "number", "70");
         }},
        {"number with a sign", [](QJsonObject& f) { setPlayerField(f, 0, "number", "+5"); }},
        {"unknown keys are ignored", [](QJsonObject& f) { f["comment"] = "made by hand"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QJsonObject file = validFile();
        c.edit(file);
        ArmySetup out;
        QString error;
        EXPECT_TRUE(FromJson(bytes(file), &out, &error)) << error.toStdString();
    }
}

// ---- Broken files ---------------------------------------------------------------

TEST(ArmyFileRefusal, EveryBrokenRuleIsNamedAndNothingChanges) {
    struct Case {
        std::function<void(QJsonObject&)> edit;
        QString message;
    };
    // A kind's own values: the message says which kind.
    auto K = [](const char* rule) {
        return QStringLiteral("player 2, kind 3 (\"Knights\"): ") + QString::fromUtf8(rule);
    };
    auto kindCase = [](const char* key, QJsonValue value) {
        return [=](QJsonObject& f) { setKindField(f, 1, 2, key, value); };
    };
    auto playerCase = [](int player, const char* key, QJsonValue value) {
        return [=](QJsonObject& f) { setPlayerField(f, player, key, value); };
    };
    const QJsonValue missing = QJsonValue(QJsonValue::Undefined);
    const std::vector<Case> cases = {
        // The file as a whole.
        {[](QJsonObject& f) { f.remove("format"); }, "not an army file: \"format\" is missing"},
        {[](QJsonObject& f) { f["format"] = 1; },
         "not an army file: \"format\" must be the text \"orb-battle-armies\""},
        {[](QJsonObject& f) { f["format"] = "x"; }, "unknown format \"x\""},
        {[](QJsonObject& f) { f["version"] = 2; }, "version 2 is not supported"},
        {[](QJsonObject& f) { f["version"] = "1"; }, "\"version\" must be a whole number"},
        {[](QJsonObject& f) { f.remove("version"); }, "\"version\" is missing"},
        {[](QJsonObject& f) { f["players"] = QJsonObject{}; }, "\"players\" must be a list of two players"},
        {[](QJsonObject& f) {
             QJsonArray p = f["players"].toArray();
             p.append(p[0]);
             f["players"] = p;
         },
         "\"players\" must hold exactly 2 players, not 3"},
        {[](QJsonObject& f) { f["players"] = QJsonArray{f["players"].toArray()[0]}; },
         "\"players\" must hold exactly 2 players, not 1"},
        {[](QJsonObject& f) {
             QJsonArray p = f["players"].toArray();
             p[1] = "two";
             f["players"] = p;
         },
         "player 2 must be a JSON object"},
        // Player numbers and names.
        {playerCase(0, "number", "0"),
         "player 1: \"number\" must be a text of 1 or 2 characters reading as a whole number from 1 to 99"},
        {playerCase(0, "number", "100"),
         "player 1: \"number\" must be a text of 1 or 2 characters reading as a whole number from 1 to 99"},
        {playerCase(0, "number", "-1"),
         "player 1: \"number\" must be a text of 1 or 2 characters reading as a whole number from 1 to 99"},
        {playerCase(0, "number", "x"),
         "player 1: \"number\" must be a text of 1 or 2 characters reading as a whole number from 1 to 99"},
        {playerCase(0, "number", ""),
         "player 1: \"number\" must be a text of 1 or 2 characters reading as a whole number from 1 to 99"},
        {playerCase(1, "number", 2),
         "player 2: \"number\" must be a text of 1 or 2 characters reading as a whole number from 1 to 99"},
        {playerCase(1, "number", missing), "player 2: \"number\" is missing"},
        {playerCase(1, "number", "1"), "players 1 and 2 both have the number \"1\""},
        {playerCase(1, "number", "01"), "players 1 and 2 have the same number (\"1\" and \"01\" both read as 1)"},
        {playerCase(0, "name", ""), "player 1: \"name\" must be a text of 1 to 30 characters"},
        {playerCase(0, "name", QString(31, 'w')), "player 1: \"name\" must be a text of 1 to 30 characters"},
        {playerCase(0, "name", QJsonValue::Null), "player 1: \"name\" must be a text of 1 to 30 characters"},
        {playerCase(0, "name", "Two\nlines"),
         "player 1: \"name\" must not hold line breaks or other control characters"},
        {playerCase(0, "kinds", QJsonObject{}), "player 1: \"kinds\" must be a list of kinds"},
        {playerCase(0, "kinds", missing), "player 1: \"kinds\" is missing"},
        {[](QJsonObject& f) {
             QJsonArray kinds;
             for (int k = 0; k < 41; ++k)
                 kinds.append(validKind());
             setPlayerField(f, 0, "kinds", kinds);
         },
         "player 1: \"kinds\" holds 41 kinds; an army holds at most 40"},
        {[](QJsonObject& f) { setPlayerField(f, 0, "kinds", QJsonArray{3}); },
         "player 1, kind 1 must be a JSON object"},
        // Kinds: each value and each type.
        {kindCase("name", ""), "player 2, kind 3: \"name\" must be a text of 1 to 30 characters"},
        {kindCase("name", QString(31, 'k')), "player 2, kind 3: \"name\" must be a text of 1 to 30 characters"},
        {kindCase("name", missing), "player 2, kind 3: \"name\" is missing"},
        {kindCase("abbreviation", "KNIG"), K("\"abbreviation\" must be a text of at most 3 characters")},
        {kindCase("abbreviation", 3), K("\"abbreviation\" must be a text of at most 3 characters")},
        {kindCase("abbreviation", "\x1b[m"),
         K("\"abbreviation\" must not hold line breaks or other control characters")},
        {kindCase("position", "m"), K("\"position\" must be one of F, G, B, R, M")},
        {kindCase("position", "X"), K("\"position\" must be one of F, G, B, R, M")},
        {kindCase("position", ""), K("\"position\" must be one of F, G, B, R, M")},
        {kindCase("type", "A"), K("\"type\" must be one of O, S, U, H")},
        {kindCase("type", missing), K("\"type\" is missing")},
        {kindCase("offense", -1), K("\"offense\" must be a whole number from 0 to 999")},
        {kindCase("offense", 1000), K("\"offense\" must be a whole number from 0 to 999")},
        {kindCase("offense", 2.5), K("\"offense\" must be a whole number from 0 to 999")},
        {kindCase("defense", "4"), K("\"defense\" must be a whole number from 0 to 999")},
        {kindCase("defense", true), K("\"defense\" must be a whole number from 0 to 999")},
        {kindCase("rangedoff", QJsonValue::Null), K("\"rangedoff\" must be a whole number from 0 to 999")},
        {kindCase("attacks", 0), K("\"attacks\" must be a whole number from 1 to 999")},
        {kindCase("attacks", 1e300), K("\"attacks\" must be a whole number from 1 to 999")},
        {kindCase("hitpoints", 0), K("\"hitpoints\" must be a whole number from 1 to 999")},
        {kindCase("hitpoints", missing), K("\"hitpoints\" is missing")},
        {kindCase("number", 0), K("\"number\" must be a whole number from 1 to 9999")},
        {kindCase("number", 10000), K("\"number\" must be a whole number from 1 to 9999")},
        {kindCase("number", QJsonArray{1}), K("\"number\" must be a whole number from 1 to 9999")},
    };
    for (const Case& c : cases) {
        QJsonObject file = validFile();
        c.edit(file);
        SCOPED_TRACE(c.message.toStdString());
        ArmySetup out = sentinel();
        QString error;
        EXPECT_FALSE(FromJson(bytes(file), &out, &error));
        EXPECT_EQ(error.toStdString(), c.message.toStdString());
        expectSentinel(out);
    }
}

TEST(ArmyFileRefusal, TextThatIsNotAnArmyFile) {
    const QByteArray valid = bytes(validFile());
    const std::vector<QByteArray> texts = {valid.left(valid.size() / 2), QByteArray(), QByteArray("army"),
                                           QByteArray("{\"format\": \"orb-battle-armies\",}"), QByteArray("\xff\xfe{")};
    for (const QByteArray& text : texts) {
        SCOPED_TRACE(text.left(40).toStdString());
        ArmySetup out = sentinel();
        QString error;
        EXPECT_FALSE(FromJson(text, &out, &error));
        EXPECT_TRUE(error.startsWith("not JSON: ")) << error.toStdString();
        EXPECT_TRUE(error.contains(" at offset ")) << error.toStdString();
        expectSentinel(out);
    }
    ArmySetup out = sentinel();
    QString error;
    EXPECT_FALSE(FromJson(std::string_view("[1, 2]"), &out, &error));
    EXPECT_EQ(error.toStdString(), "not an army file: the top level is not a JSON object");
    expectSentinel(out);
}

TEST(ArmyFileRefusal, LoadingWhatCannotBeRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ArmySetup out = sentinel();
    QString error;
    EXPECT_FALSE(LoadArmies(dir.filePath("absent.json"), &out, &error));
    EXPECT_TRUE(error.startsWith("cannot open the file: ")) << error.toStdString();
    EXPECT_FALSE(LoadArmies(dir.path(), &out, &error));
    EXPECT_EQ(error.toStdString(), "cannot open the file: it is a directory");

    // A huge file is refused without being taken whole into memory.
    const QString big = dir.filePath("big.json");
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(MaxFileBytes + 1));
    }
    EXPECT_FALSE(LoadArmies(big, &out, &error));
    EXPECT_TRUE(error.startsWith("the file is too large")) << error.toStdString();
    expectSentinel(out);
}

TEST(ArmyFileRefusal, BuildArmyRefusesWhatNoDialogAddsAndKeepsTheArmy) {
    Army army;
    add(army, catalogueKind("ARC"), 20);
    PlayerSetup bad;
    bad.kinds.push_back(KindSetup{catalogueKind("KNI"), 5});
    bad.kinds.push_back(KindSetup{handKind("Broken", "BRK", "F", "O", 1, 1, 0, 0, 1), 5});  // no attacks
    EXPECT_FALSE(BuildArmy(bad, &army));
    ASSERT_EQ(army.currentSize, 20);
    EXPECT_EQ(army.unittypes[0].Fullname, "Archers");
    EXPECT_EQ(army.unittypes[1].Fullname, "");
    EXPECT_EQ(army.checkInvariants(), "");

    // A good setup replaces the army whole, not adding to it.
    bad.kinds.pop_back();
    ASSERT_TRUE(BuildArmy(bad, &army));
    EXPECT_EQ(army.currentSize, 5);
    EXPECT_EQ(army.currentType, 0);
    EXPECT_EQ(army.unittypes[0].Fullname, "Knights");
    EXPECT_EQ(army.checkInvariants(), "");
}

// ---- Saving ---------------------------------------------------------------------

TEST(ArmyFileSave, ReplacesAnOldFileWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("armies.json");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        // Longer than the new content: a save that wrote in place would leave a tail.
        old.write(QByteArray(100000, 'x'));
    }
    Army one, two;
    add(one, catalogueKind("ARC"), 20);
    add(two, catalogueKind("KNI"), 3);
    const ArmySetup setup = setupOf(one, "1", "A", two, "2", "B");
    QString error;
    ASSERT_TRUE(SaveArmies(path, setup, &error)) << error.toStdString();
    EXPECT_EQ(readAll(path).toStdString(), ToJson(setup));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"armies.json"});
}

TEST(ArmyFileSave, FailuresSayWhyAndLeaveNothingBehind) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Army one, two;
    add(one, catalogueKind("ARC"), 20);
    const ArmySetup good = setupOf(one, "1", "A", two, "2", "B");
    QString error;

    const QString nowhere = dir.filePath("no/such/dir/armies.json");
    EXPECT_FALSE(SaveArmies(nowhere, good, &error));
    EXPECT_TRUE(error.startsWith("cannot write the file: ")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(nowhere));
    EXPECT_FALSE(QDir(dir.filePath("no")).exists());

    // What would not open again is not written, and the old file stays.
    const QString path = dir.filePath("armies.json");
    ASSERT_TRUE(SaveArmies(path, good, &error));
    const QString before = readAll(path);
    for (int variant = 0; variant < 3; ++variant) {
        ArmySetup bad = good;
        if (variant == 0)
            bad.players[1].number = "01";  // the same as player 1
        else if (variant == 1)
            bad.players[0].kinds[0].values.Offense = 1.5;
        else
            bad.players[1].name.clear();
        error.clear();
        EXPECT_FALSE(SaveArmies(path, bad, &error));
        EXPECT_TRUE(error.startsWith("the armies cannot be saved: ")) << error.toStdString();
        EXPECT_EQ(readAll(path), before);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"armies.json"});
}
