// The built orbsim, run as a user runs it: repeatable with a seed, its text
// and JSON telling the same result, and every bad call refused on stderr
// with nothing on stdout.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#ifndef ORBSIM_PATH
#error "ORBSIM_PATH must name the built orbsim"
#endif

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome runOrbsim(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(ORBSIM_PATH), arguments);
    Outcome o;
    if (!process.waitForStarted(10000)) {
        ADD_FAILURE() << "orbsim did not start";
        return o;
    }
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "orbsim did not finish: " << arguments.join(' ').toStdString();
        return o;
    }
    o.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    o.out = QString::fromUtf8(process.readAllStandardOutput());
    o.err = QString::fromUtf8(process.readAllStandardError());
    return o;
}

const char* const Armies = R"({"format": "orb-battle-armies", "version": 1,
 "players": [
   {"number": "1", "name": "Nameless 1", "kinds": [
     {"abbreviation": "arc", "name": "Archers", "position": "R", "type": "O",
      "offense": 1, "defense": 0, "rangedoff": 2, "attacks": 1, "hitpoints": 1, "number": 20},
     {"abbreviation": "KNI", "name": "Knights", "position": "M", "type": "O",
      "offense": 4, "defense": 4, "rangedoff": 0, "attacks": 1, "hitpoints": 2, "number": 15}]},
   {"number": "07", "name": "The Grey", "kinds": [
     {"abbreviation": "WRI", "name": "Wolf Riders", "position": "M", "type": "O",
      "offense": 4, "defense": 2, "rangedoff": 0, "attacks": 1, "hitpoints": 1, "number": 30},
     {"abbreviation": "SPE", "name": "Spearmen", "position": "F", "type": "O",
      "offense": 1, "defense": 3, "rangedoff": 0, "attacks": 1, "hitpoints": 1, "number": 12},
     {"abbreviation": "JES", "name": "Jesters", "position": "B", "type": "O",
      "offense": 0, "defense": 1, "rangedoff": 0, "attacks": 1, "hitpoints": 1, "number": 3}]}]})";

class Orbsim : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        armies_ = write("armies.json", Armies);
    }
    QString write(const QString& name, const QByteArray& content) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    QTemporaryDir dir_;
    QString armies_;
};

// A kind's line of the averaged list: "Name    :     count".
int unitsLeftIn(const QString& text, const QString& name) {
    const QRegularExpression line(QRegularExpression::escape(name) + QStringLiteral("    :     (-?\\d+)"));
    const QRegularExpressionMatch m = line.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -999;
}

}  // namespace

TEST_F(Orbsim, SeededSingleThreadRunsRepeatExactly) {
    const QStringList args{armies_, "--runs", "200", "--seed", "42", "--threads", "1"};
    const Outcome first = runOrbsim(args);
    const Outcome second = runOrbsim(args);
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(first.out, second.out);

    for (const char* piece : {"BATLLE:   SIDE I", "BATLLE:   SIDE II", "Wizard 07 : The Grey", "UNITS LEFT:",
                              "ODDS OVER 200 RUNS:", "Side I  wins:", "Side II wins:", "95% confidence interval"})
        EXPECT_TRUE(first.out.contains(piece)) << piece << "\n" << first.out.toStdString();
    // As the results window saves it: side I's column, then side II's, then the odds.
    EXPECT_TRUE(first.out.startsWith("BATLLE:   SIDE I\n"));
    const qsizetype sideII = first.out.indexOf("\n\nBATLLE:   SIDE II\n");
    EXPECT_GT(sideII, 0);
    EXPECT_GT(first.out.indexOf("\nODDS OVER 200 RUNS:\n"), sideII);

    // Another seed fights other battles.
    const Outcome other = runOrbsim({armies_, "--runs", "200", "--seed", "43", "--threads", "1"});
    EXPECT_NE(other.out, first.out);

    // Any thread count gives the same bytes, the JSON's full-precision means
    // and spreads included: how the workers' parts meet must not matter.
    for (const QStringList& format : {QStringList{}, QStringList{"--json"}}) {
        const QStringList seeded = QStringList{armies_, "--runs", "300", "--seed", "9"} + format;
        const Outcome one = runOrbsim(seeded + QStringList{"--threads", "1"});
        ASSERT_EQ(one.exitCode, 0) << one.err.toStdString();
        for (const char* threads : {"2", "8"})
            EXPECT_EQ(runOrbsim(seeded + QStringList{"--threads", threads}).out, one.out) << threads << " threads";
    }
}

TEST_F(Orbsim, TextAndJsonTellTheSameResult) {
    const Outcome text = runOrbsim({armies_, "--runs", "300", "--seed", "7", "--threads", "1"});
    const Outcome json = runOrbsim({armies_, "--runs", "300", "--seed", "7", "--threads", "1", "--json"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_EQ(json.err, "");

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.toStdString();
    const QJsonObject root = doc.object();
    EXPECT_EQ(root["runs"].toInt(), 300);
    EXPECT_EQ(root["seed"].toString(), "7");
    const QJsonArray players = root["players"].toArray();
    ASSERT_EQ(players.size(), 2);

    qint64 wins = 0;
    for (int s = 0; s < 2; ++s) {
        const QJsonObject p = players[s].toObject();
        for (const char* key : {"side", "number", "name", "wins", "winChance", "kinds"})
            EXPECT_TRUE(p.contains(key)) << key;
        const QJsonObject chance = p["winChance"].toObject();
        EXPECT_LE(chance["low"].toDouble(), chance["value"].toDouble());
        EXPECT_LE(chance["value"].toDouble(), chance["high"].toDouble());
        EXPECT_DOUBLE_EQ(chance["value"].toDouble(), p["wins"].toDouble() / 300.0);
        wins += p["wins"].toInteger();
        for (const QJsonValue& kv : p["kinds"].toArray()) {
            const QJsonObject k = kv.toObject();
            for (const char* key : {"name", "number", "averageLeft", "mean", "sd", "min", "max"})
                EXPECT_TRUE(k.contains(key)) << key;
            const QString name = k["name"].toString();
            SCOPED_TRACE(name.toStdString());
            // The report rounds the average loss down, so the units left up.
            EXPECT_EQ(unitsLeftIn(text.out, name), k["averageLeft"].toInt());
            EXPECT_GE(k["averageLeft"].toDouble() + 1e-9, k["mean"].toDouble());
            EXPECT_LT(k["averageLeft"].toDouble() - 1, k["mean"].toDouble());
            EXPECT_LE(k["min"].toInt(), k["mean"].toDouble());
            EXPECT_LE(k["mean"].toDouble(), k["max"].toInt());
            EXPECT_LE(k["max"].toInt(), k["number"].toInt());
            EXPECT_GE(k["sd"].toDouble(), 0.0);
        }
    }
    EXPECT_EQ(wins + root["draws"].toInteger(), 300);
    EXPECT_EQ(players[1].toObject()["number"].toString(), "07");
}

TEST_F(Orbsim, OneRunIsOneBattleAveraged) {
    const Outcome json = runOrbsim({armies_, "--runs", "1", "--seed", "3", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    for (const QJsonValue& pv : root["players"].toArray())
        for (const QJsonValue& kv : pv.toObject()["kinds"].toArray()) {
            const QJsonObject k = kv.toObject();
            EXPECT_EQ(k["averageLeft"].toInt(), k["min"].toInt());
            EXPECT_EQ(k["min"].toInt(), k["max"].toInt());
            EXPECT_EQ(k["sd"].toDouble(), 0.0);
        }
}

TEST_F(Orbsim, ReportFightsOneBattleInFull) {
    const Outcome first = runOrbsim({armies_, "--report", "--seed", "11"});
    const Outcome second = runOrbsim({armies_, "--report", "--seed", "11"});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_EQ(first.out, second.out);
    for (const char* piece : {"BATLLE:   SIDE I", "ARMY:", "Round 1 Ranged Combat - Casualties:",
                              "Round 1 Mounted Combat - Casualties:", "UNITS LEFT:"})
        EXPECT_TRUE(first.out.contains(piece)) << piece;
    EXPECT_FALSE(first.out.contains("ODDS"));

    const Outcome json = runOrbsim({armies_, "--report", "--seed", "11", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonArray players = QJsonDocument::fromJson(json.out.toUtf8()).object()["players"].toArray();
    ASSERT_EQ(players.size(), 2);
    EXPECT_EQ(players[0].toObject()["report"].toArray()[0].toString(), "BATLLE:   SIDE I");
    EXPECT_EQ(players[1].toObject()["report"].toArray()[0].toString(), "BATLLE:   SIDE II");
}

TEST_F(Orbsim, BadArgumentsAreRefusedWithUsage) {
    const std::vector<QStringList> calls = {
        {},
        {armies_, "--runs", "0"},
        {armies_, "--runs", "-3"},
        {armies_, "--runs", "ten"},
        {armies_, "--runs", "99999999999"},
        {armies_, "--runs"},
        {armies_, "--threads", "0"},
        {armies_, "--threads=x"},
        {armies_, "--seed", "-1"},
        {armies_, "--bogus"},
        {armies_, armies_},
        {armies_, "--report", "--runs", "5"},
        {armies_, "--find", "1"},
        {armies_, "--find", "one:KNI"},
        {armies_, "--find", "1:"},
        {armies_, "--find", "1:KNI", "--runs", "5"},
        {armies_, "--find", "1:KNI", "--report"},
        {armies_, "--target", "0.9"},  // without --find
        {armies_, "--find", "1:KNI", "--target", "0.4"},
        {armies_, "--find", "1:KNI", "--target", "1"},
        {armies_, "--find", "1:KNI", "--target", "9e-1"},
        {armies_, "--find", "1:KNI", "--target", "99.95%"},
        {armies_, "--find", "1:KNI", "--max", "0"},
        {armies_, "--find", "1:KNI", "--max", "10000"},
        // Every number once past each end, not a number, signed, blank or empty.
        {armies_, "--runs", "10000001"},
        {armies_, "--runs", "+5"},
        {armies_, "--runs", " 5"},
        {armies_, "--runs", ""},
        {armies_, "--runs", "nan"},
        {armies_, "--threads", "2147483648"},
        {armies_, "--threads", "inf"},
        {armies_, "--seed", "18446744073709551616"},
        {armies_, "--seed", ""},
        {armies_, "--find", "1:KNI", "--target", "nan"},
        {armies_, "--find", "1:KNI", "--target", "NaN%"},
        {armies_, "--find", "1:KNI", "--target", "inf"},
        {armies_, "--find", "1:KNI", "--target", "-inf"},
        {armies_, "--find", "1:KNI", "--target", "+0.9"},
        {armies_, "--find", "1:KNI", "--target", " 0.9"},
        {armies_, "--find", "1:KNI", "--target", ""},
        {armies_, "--find", "1:KNI", "--target", "0.4999"},
        {armies_, "--find", "1:KNI", "--target", "99.91%"},
        {armies_, "--find", "1:KNI", "--max", "-1"},
        {armies_, "--find", "1:KNI", "--max", "nan"},
        {armies_, "--find", "nan:KNI"},
        {armies_, "--find", ":KNI"},
        {armies_, "--find", "+:KNI"},
    };
    for (const QStringList& call : calls) {
        SCOPED_TRACE(call.join(' ').toStdString());
        const Outcome o = runOrbsim(call);
        EXPECT_EQ(o.exitCode, 2);
        EXPECT_EQ(o.out, "");
        EXPECT_TRUE(o.err.startsWith("orbsim: ")) << o.err.toStdString();
        EXPECT_TRUE(o.err.contains("usage: orbsim ARMIES.json")) << o.err.toStdString();
    }

    const Outcome help = runOrbsim({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: orbsim ARMIES.json"));
    EXPECT_EQ(help.err, "");
}

TEST_F(Orbsim, BadFilesAreRefusedWithTheReason) {
    const QString broken = write("broken.json", QByteArray(Armies).left(200));
    QByteArray noUnits = Armies;
    noUnits.replace(noUnits.indexOf("\"kinds\": ["), noUnits.indexOf("]},") - noUnits.indexOf("\"kinds\": [") + 1,
                    "\"kinds\": []");
    const QString empty = write("empty.json", noUnits);
    QByteArray twoAttacks0 = Armies;
    twoAttacks0.replace("\"attacks\": 1, \"hitpoints\": 1, \"number\": 12",
                        "\"attacks\": 0, \"hitpoints\": 1, \"number\": 12");
    const QString badKind = write("badkind.json", twoAttacks0);

    struct Case {
        QString path;
        QString message;
    };
    const std::vector<Case> cases = {
        {dir_.filePath("absent.json"), "cannot open the file"},
        {broken, "not JSON: "},
        {empty, "player 1 (Nameless 1) has no units"},
        {badKind, "player 2, kind 2 (\"Spearmen\"): \"attacks\" must be a whole number from 1 to 999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        for (const QStringList& extra : {QStringList{}, QStringList{"--report"}, QStringList{"--json"}}) {
            const Outcome o = runOrbsim(QStringList{c.path} + extra);
            EXPECT_EQ(o.exitCode, 1);
            EXPECT_EQ(o.out, "");
            EXPECT_TRUE(o.err.contains(c.message)) << o.err.toStdString();
            EXPECT_FALSE(o.err.contains("usage:"));
        }
    }
}

TEST_F(Orbsim, FindGivesTheSameAnswerWhateverTheThreadCount) {
    const QStringList args{armies_, "--find", "1:kni", "--seed", "5", "--json"};
    const Outcome one = runOrbsim(args + QStringList{"--threads", "1"});
    const Outcome three = runOrbsim(args + QStringList{"--threads", "3"});
    ASSERT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_EQ(one.out, three.out);

    const QJsonObject root = QJsonDocument::fromJson(one.out.toUtf8()).object();
    ASSERT_TRUE(root["found"].isDouble()) << one.out.toStdString();
    const int found = root["found"].toInt();
    EXPECT_LE(root["low"].toDouble(), root["chance"].toDouble());
    EXPECT_LE(root["chance"].toDouble(), root["high"].toDouble());
    EXPECT_GE(root["chance"].toDouble(), 0.9);
    const QJsonObject lower = root["lower"].toObject();
    EXPECT_EQ(lower["number"].toInt(), found - 1);  // bisection ends next to the answer
    EXPECT_LT(lower["chance"].toDouble(), 0.9);
    qint64 battles = 0;
    for (const QJsonValue& t : root["trials"].toArray())
        battles += t.toObject()["battles"].toInteger();
    EXPECT_EQ(root["battles"].toInteger(), battles);

    // The text tells the same answer.
    const Outcome text = runOrbsim({armies_, "--find", "1:KNI", "--seed", "5"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("\n%1 Knights win ").arg(found))) << text.out.toStdString();

    // A largest number that cannot reach: no answer, and the chance it reached.
    const Outcome none = runOrbsim({armies_, "--find", "1:KNI", "--max", "2", "--target", "95%", "--json"});
    ASSERT_EQ(none.exitCode, 0) << none.err.toStdString();
    const QJsonObject short_ = QJsonDocument::fromJson(none.out.toUtf8()).object();
    EXPECT_TRUE(short_["found"].isNull());
    EXPECT_EQ(short_["number"].toInt(), 2);
    EXPECT_LT(short_["chance"].toDouble(), 0.95);
    EXPECT_DOUBLE_EQ(short_["target"].toDouble(), 0.95);
    EXPECT_EQ(short_["lower"].toObject()["number"].toInt(), 1);
}

TEST_F(Orbsim, FindNamesWhatTheFileHasWhenThePlayerOrKindIsNotInIt) {
    const Outcome kind = runOrbsim({armies_, "--find", "7:KNI"});
    EXPECT_EQ(kind.exitCode, 2);
    EXPECT_EQ(kind.out, "");
    EXPECT_TRUE(kind.err.contains("player 07 (The Grey) has no kind KNI; its kinds are WRI, SPE, JES"))
        << kind.err.toStdString();

    const Outcome player = runOrbsim({armies_, "--find", "3:KNI"});
    EXPECT_EQ(player.exitCode, 2);
    EXPECT_EQ(player.out, "");
    EXPECT_TRUE(player.err.contains("its players are 1 (Nameless 1) and 07 (The Grey)")) << player.err.toStdString();

    // A player stored as "+7" or " 7" is player 7, as the army file reads it,
    // and so is "+7" or " 7" typed after --find.
    for (const char* stored : {"+7", " 7"}) {
        const QString path =
            write("signed.json", QByteArray(Armies).replace("\"07\"", QByteArray("\"") + stored + "\""));
        for (const char* asked : {"7:WRI", "+7:WRI", " 7:WRI"}) {
            SCOPED_TRACE(std::string(stored) + " asked as " + asked);
            const Outcome found = runOrbsim({path, "--find", asked, "--max", "1", "--json"});
            ASSERT_EQ(found.exitCode, 0) << found.err.toStdString();
            const QJsonObject root = QJsonDocument::fromJson(found.out.toUtf8()).object();
            EXPECT_EQ(root["player"].toObject()["number"].toString(), QString::fromLatin1(stored));
            EXPECT_EQ(root["kind"].toObject()["abbreviation"].toString(), "WRI");
        }
    }
}

// A battle of a simulation, shown again: --show says which run it picked,
// and that run's report is --show-run's, whatever the threads; the JSON
// gives the run's figures; a run out of range or an outcome that never
// occurred is refused with 2.
TEST_F(Orbsim, ShowsABattleOfTheSimulation) {
    const QStringList sim = {armies_, QStringLiteral("--runs"), QStringLiteral("60"), QStringLiteral("--seed"),
                             QStringLiteral("5")};
    const Outcome worst = runOrbsim(sim + QStringList{QStringLiteral("--show"), QStringLiteral("2:worst")});
    ASSERT_EQ(worst.exitCode, 0) << worst.err.toStdString();
    const QRegularExpressionMatch title =
        QRegularExpression(QStringLiteral("^Battle (\\d+) of 60: (side I won|side II won) with (\\d+) units? left\n\n"))
            .match(worst.out);
    ASSERT_TRUE(title.hasMatch()) << worst.out.left(200).toStdString();
    const QString run = title.captured(1);
    const Outcome again = runOrbsim(
        sim + QStringList{QStringLiteral("--show-run"), run, QStringLiteral("--threads"), QStringLiteral("1")});
    EXPECT_EQ(again.out, worst.out);

    // The worst for side II: where side I won, side II kept nothing.
    const Outcome all = runOrbsim(sim + QStringList{QStringLiteral("--json")});
    const Outcome shown = runOrbsim(sim + QStringList{QStringLiteral("--show-run"), run, QStringLiteral("--json")});
    const QJsonObject figures = QJsonDocument::fromJson(shown.out.toUtf8()).object();
    EXPECT_EQ(figures[QStringLiteral("run")].toInt(), run.toInt());
    const QJsonObject sideII = figures[QStringLiteral("players")].toArray()[1].toObject();
    int kindsLeft = 0;
    for (const QJsonValue kind : sideII[QStringLiteral("kinds")].toArray())
        kindsLeft += kind.toObject()[QStringLiteral("left")].toInt();
    EXPECT_EQ(kindsLeft, sideII[QStringLiteral("left")].toInt());
    ASSERT_GT(QJsonDocument::fromJson(all.out.toUtf8())
                  .object()[QStringLiteral("players")]
                  .toArray()[0]
                  .toObject()[QStringLiteral("wins")]
                  .toInt(),
              0);
    EXPECT_EQ(sideII[QStringLiteral("left")].toInt(), 0);
    EXPECT_TRUE(title.captured(2) == QLatin1String("side I won"));

    for (const QStringList& refused : {QStringList{QStringLiteral("--show-run"), QStringLiteral("61")},
                                       QStringList{QStringLiteral("--show-run"), QStringLiteral("0")},
                                       QStringList{QStringLiteral("--show"), QStringLiteral("draw")},
                                       QStringList{QStringLiteral("--show"), QStringLiteral("sideways")}}) {
        const Outcome o = runOrbsim(sim + refused);
        EXPECT_EQ(o.exitCode, 2) << refused.join(' ').toStdString();
        EXPECT_TRUE(o.out.isEmpty());
    }
    EXPECT_TRUE(runOrbsim(sim + QStringList{QStringLiteral("--show"), QStringLiteral("draw")})
                    .err.contains(QStringLiteral("no battle of the 60 ended with both armies gone")));
}
