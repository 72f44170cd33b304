#include "ArmyFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>
#include <cmath>
#include <optional>

#include "rules/DialogRules.h"

namespace armyfile {
using namespace dialogrules;

namespace {

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

// Reports carry names line by line and the command line prints them to a
// terminal: a line break or an escape sequence in a name would break the
// report's columns or drive the terminal. The dialogs' one-line edits never
// hold such characters.
bool hasControlCharacters(const QString& text) {
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return true;
    return false;
}

// The checks of one file, each failure thrown as its message so that the
// first broken rule ends the reading with nothing taken from the file.
struct Broken {
    QString message;
};

class Reader {
public:
    ArmySetup read(const QJsonDocument& doc) {
        if (!doc.isObject())
            fail(QStringLiteral("not an army file: the top level is not a JSON object"));
        const QJsonObject root = doc.object();

        const QJsonValue format = root.value(QLatin1String("format"));
        if (format.isUndefined())
            fail(QStringLiteral("not an army file: \"format\" is missing"));
        if (!format.isString())
            fail(QStringLiteral("not an army file: \"format\" must be the text \"%1\"").arg(QLatin1String(Format)));
        if (format.toString() != QLatin1String(Format))
            fail(QStringLiteral("unknown format %1").arg(quoted(format.toString())));

        const QJsonValue version = root.value(QLatin1String("version"));
        if (version.isUndefined())
            fail(QStringLiteral("\"version\" is missing"));
        const std::optional<double> v = integral(version);
        if (!v)
            fail(QStringLiteral("\"version\" must be a whole number"));
        if (*v != Version)
            fail(QStringLiteral("version %1 is not supported").arg(QString::number(*v, 'g', 17)));

        const QJsonValue players = root.value(QLatin1String("players"));
        if (players.isUndefined())
            fail(QStringLiteral("\"players\" is missing"));
        if (!players.isArray())
            fail(QStringLiteral("\"players\" must be a list of two players"));
        const QJsonArray list = players.toArray();
        if (list.size() != 2)
            fail(QStringLiteral("\"players\" must hold exactly 2 players, not %1").arg(list.size()));

        ArmySetup setup;
        std::array<int, 2> numbers{};
        for (int p = 0; p < 2; ++p) {
            where_ = QStringLiteral("player %1").arg(p + 1);
            if (!list[p].isObject())
                fail(where_ + QStringLiteral(" must be a JSON object"));
            numbers[p] = readPlayer(list[p].toObject(), &setup.players[p]);
        }
        const QString& a = setup.players[0].number;
        const QString& b = setup.players[1].number;
        if (a == b)
            fail(QStringLiteral("players 1 and 2 both have the number %1").arg(quoted(a)));
        if (numbers[0] == numbers[1])
            fail(QStringLiteral("players 1 and 2 have the same number (%1 and %2 both read as %3)")
                     .arg(quoted(a), quoted(b))
                     .arg(numbers[0]));
        return setup;
    }

private:
    [[noreturn]] static void fail(const QString& message) { throw Broken{message}; }
    [[noreturn]] void failField(const char* key, const QString& rule) const {
        fail(where_ + QStringLiteral(": \"%1\" %2").arg(QLatin1String(key), rule));
    }

    static std::optional<double> integral(const QJsonValue& value) {
        if (!value.isDouble())
            return std::nullopt;
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::trunc(d) != d)
            return std::nullopt;
        return d;
    }

    QJsonValue required(const QJsonObject& object, const char* key) const {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            failField(key, QStringLiteral("is missing"));
        return value;
    }

    int wholeNumber(const QJsonObject& object, const char* key, int low, int high) const {
        const std::optional<double> d = integral(required(object, key));
        if (!d || *d < low || *d > high)
            failField(key, QStringLiteral("must be a whole number from %1 to %2").arg(low).arg(high));
        return static_cast<int>(*d);
    }

    QString text(const QJsonObject& object, const char* key, int minLength, int maxLength) const {
        const QJsonValue value = required(object, key);
        const QString rule = minLength > 0
                                 ? QStringLiteral("must be a text of %1 to %2 characters").arg(minLength).arg(maxLength)
                                 : QStringLiteral("must be a text of at most %1 characters").arg(maxLength);
        if (!value.isString())
            failField(key, rule);
        const QString s = value.toString();
        if (s.size() < minLength || s.size() > maxLength)
            failField(key, rule);
        if (hasControlCharacters(s))
            failField(key, QStringLiteral("must not hold line breaks or other control characters"));
        return s;
    }

    QString code(const QJsonObject& object, const char* key, const QStringList& codes) const {
        const QJsonValue value = required(object, key);
        if (!value.isString() || !codes.contains(value.toString()))
            failField(key, QStringLiteral("must be one of ") + codes.join(QStringLiteral(", ")));
        return value.toString();
    }

    // Returns the player number as a number, for the distinctness check.
    int readPlayer(const QJsonObject& object, PlayerSetup* player) {
        const QJsonValue number = required(object, "number");
        const QString rule = QStringLiteral("must be a text of 1 or 2 characters reading as a whole number from 1 to %1")
                                 .arg(MaxPlayerNumber);
        if (!number.isString())
            failField("number", rule);
        player->number = number.toString();
        // A player number of " 7" or "+7" is one the army-info dialog accepts,
        // so a file may hold it too.
        const std::optional<int> n = DialogInteger(player->number);
        if (player->number.size() < 1 || player->number.size() > 2 || !n || *n < 1 || *n > MaxPlayerNumber)
            failField("number", rule);

        player->name = text(object, "name", 1, MaxNameLength);

        const QJsonValue kinds = required(object, "kinds");
        if (!kinds.isArray())
            failField("kinds", QStringLiteral("must be a list of kinds"));
        const QJsonArray list = kinds.toArray();
        if (list.size() > MaxKinds)
            failField("kinds", QStringLiteral("holds %1 kinds; an army holds at most %2").arg(list.size()).arg(MaxKinds));

        const QString playerWhere = where_;
        for (qsizetype k = 0; k < list.size(); ++k) {
            where_ = playerWhere + QStringLiteral(", kind %1").arg(k + 1);
            if (!list[k].isObject())
                fail(where_ + QStringLiteral(" must be a JSON object"));
            player->kinds.push_back(readKind(list[k].toObject()));
        }
        where_ = playerWhere;
        return *n;
    }

    KindSetup readKind(const QJsonObject& object) {
        KindSetup kind;
        KindValues& v = kind.values;
        // The name first, so that every later message can say which kind.
        v.Fullname = text(object, "name", 1, MaxNameLength).toStdString();
        where_ += QStringLiteral(" (%1)").arg(quoted(QString::fromStdString(v.Fullname)));
        v.Abbreviation = text(object, "abbreviation", 0, MaxAbbreviationLength).toStdString();
        v.Position = code(object, "position", {QStringLiteral("F"), QStringLiteral("G"), QStringLiteral("B"),
                                               QStringLiteral("R"), QStringLiteral("M")})
                         .toStdString();
        v.Type = code(object, "type", {QStringLiteral("O"), QStringLiteral("S"), QStringLiteral("U"), QStringLiteral("H")})
                     .toStdString();
        v.Offense = wholeNumber(object, "offense", 0, MaxValue);
        v.Defense = wholeNumber(object, "defense", 0, MaxValue);
        v.Rangedoff = wholeNumber(object, "rangedoff", 0, MaxValue);
        v.Attacks = wholeNumber(object, "attacks", 1, MaxValue);
        v.Hitpoints = wholeNumber(object, "hitpoints", 1, MaxValue);
        kind.number = wholeNumber(object, "number", 1, MaxUnits);
        return kind;
    }

    QString where_;
};

// Whole values are written as integers so the file reads as it was typed;
// anything else stays a real and is refused on reading.
QJsonValue numberValue(double d) {
    if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) < 1e15)
        return QJsonValue(static_cast<qint64>(d));
    return QJsonValue(d);
}

void setError(QString* error, const QString& message) {
    if (error)
        *error = message;
}

}  // namespace

PlayerSetup SetupFromArmy(const Army& army, const QString& number, const QString& name) {
    PlayerSetup player;
    player.number = number;
    player.name = name;
    for (int32_t k = 0; k <= army.currentType && k < Army::maxTypes; ++k) {
        const Unittype& t = army.unittypes[k];
        if (t.Fullname.empty())
            continue;  // a free slot (only kind 0 of an empty army)
        KindSetup kind;
        kind.values = valuesOf(t);
        kind.number = t.Number;
        player.kinds.push_back(std::move(kind));
    }
    return player;
}

ArmySetup SetupFromArmies(const Army& army1, const QString& number1, const QString& name1, const Army& army2,
                          const QString& number2, const QString& name2) {
    ArmySetup setup;
    setup.players[0] = SetupFromArmy(army1, number1, name1);
    setup.players[1] = SetupFromArmy(army2, number2, name2);
    return setup;
}

QByteArray ToJson(const ArmySetup& setup) {
    QJsonArray players;
    for (const PlayerSetup& p : setup.players) {
        QJsonArray kinds;
        for (const KindSetup& k : p.kinds) {
            const KindValues& v = k.values;
            QJsonObject kind;
            kind.insert(QStringLiteral("abbreviation"), QString::fromStdString(v.Abbreviation));
            kind.insert(QStringLiteral("name"), QString::fromStdString(v.Fullname));
            kind.insert(QStringLiteral("position"), QString::fromStdString(v.Position));
            kind.insert(QStringLiteral("type"), QString::fromStdString(v.Type));
            kind.insert(QStringLiteral("offense"), numberValue(v.Offense));
            kind.insert(QStringLiteral("defense"), numberValue(v.Defense));
            kind.insert(QStringLiteral("rangedoff"), numberValue(v.Rangedoff));
            kind.insert(QStringLiteral("attacks"), v.Attacks);
            kind.insert(QStringLiteral("hitpoints"), v.Hitpoints);
            kind.insert(QStringLiteral("number"), k.number);
            kinds.append(kind);
        }
        QJsonObject player;
        player.insert(QStringLiteral("number"), p.number);
        player.insert(QStringLiteral("name"), p.name);
        player.insert(QStringLiteral("kinds"), kinds);
        players.append(player);
    }
    QJsonObject root;
    root.insert(QStringLiteral("format"), QLatin1String(Format));
    root.insert(QStringLiteral("version"), Version);
    root.insert(QStringLiteral("players"), players);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool FromJson(const QByteArray& json, ArmySetup* out, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        setError(error, QStringLiteral("not JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
        return false;
    }
    try {
        ArmySetup setup = Reader().read(doc);
        if (out)
            *out = std::move(setup);
        return true;
    } catch (const Broken& broken) {
        setError(error, broken.message);
        return false;
    }
}

QString Check(const ArmySetup& setup) {
    // One set of rules for reading and writing: what would not read back is
    // not written.
    QString error;
    return FromJson(ToJson(setup), nullptr, &error) ? QString() : error;
}

bool LoadArmies(const QString& path, ArmySetup* out, QString* error) {
    if (QFileInfo(path).isDir()) {
        setError(error, QStringLiteral("cannot open the file: it is a directory"));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot open the file: %1").arg(file.errorString()));
        return false;
    }
    // Read one byte past the limit, so that a file that only looks small
    // (a pipe, a device) is caught as well.
    const QByteArray data = file.read(MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        setError(error, QStringLiteral("cannot read the file: %1").arg(file.errorString()));
        return false;
    }
    if (data.size() > MaxFileBytes) {
        setError(error, QStringLiteral("the file is too large for an army file (more than %1 bytes)").arg(MaxFileBytes));
        return false;
    }
    return FromJson(data, out, error);
}

bool SaveArmies(const QString& path, const ArmySetup& setup, QString* error) {
    const QString broken = Check(setup);
    if (!broken.isEmpty()) {
        setError(error, QStringLiteral("the armies cannot be saved: %1").arg(broken));
        return false;
    }
    return WriteWhole(path, ToJson(setup), error);
}

bool WriteWhole(const QString& path, const QByteArray& data, QString* error) {
    QSaveFile file(path);
    // Never write in place: a failed save must leave the old file whole.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("cannot write the file: %1").arg(file.errorString()));
        return false;
    }
    if (file.write(data) != data.size()) {
        setError(error, QStringLiteral("cannot write the file: %1").arg(file.errorString()));
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setError(error, QStringLiteral("cannot write the file: %1").arg(file.errorString()));
        return false;
    }
    return true;
}

bool BuildArmy(const PlayerSetup& player, Army* army) {
    Army built;
    for (const KindSetup& kind : player.kinds)
        if (built.AddKind(kind.values, kind.number) != Army::AddResult::Added)
            return false;
    *army = std::move(built);
    return true;
}

}  // namespace armyfile
