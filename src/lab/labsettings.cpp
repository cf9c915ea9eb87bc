#include "labsettings.h"

#include "certificates.h"
#include "labsql.h"
#include "records/keptseals.h"

#include "records/recordform.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace quarvet::lab {

using namespace records;
using namespace Qt::StringLiterals;

// The newest value of each setting, or as it stood after entry `upTo` where that is above 0.
QSqlError readSettings(QSqlDatabase database, LabSettings& settings, qint64 upTo)
{
    QSqlQuery query(database);
    const QString asOf = upTo > 0 ? QStringLiteral(" AND n.entry <= ?") : QString();
    const QSqlError error =
        exec(query,
             QStringLiteral("SELECT s.setting, s.value FROM lab_settings s WHERE s.entry = "
                            "(SELECT max(n.entry) FROM lab_settings n WHERE n.setting = "
                            "s.setting%1)")
                 .arg(asOf),
             upTo > 0 ? QVariantList{upTo} : QVariantList{});
    while (!error.isValid() && query.next())
        settings.values.insert(query.value(QStringLiteral("setting")).toString(),
                               query.value(QStringLiteral("value")).toString());
    return error.isValid() ? error : query.lastError();
}
namespace {

// One row of the settings' table: a setting's value from then on.
struct SettingEntry {
    qint64 entry = 0;
    QString setting;
    QString value;
    QString savedUtc;
    QString savedBy;
};

constexpr TableColumn<SettingEntry> settingColumns[] = {
    {"entry", [](const SettingEntry& s) -> QVariant { return s.entry; },
     [](SettingEntry& s, const QVariant& v) { s.entry = v.toLongLong(); }},
    {"setting", [](const SettingEntry& s) -> QVariant { return s.setting; },
     [](SettingEntry& s, const QVariant& v) { s.setting = v.toString(); }},
    // A cleared setting is kept as an empty text, never as NULL.
    {"value", [](const SettingEntry& s) -> QVariant { return s.value.isNull() ? u""_s : s.value; },
     [](SettingEntry& s, const QVariant& v) { s.value = v.toString(); }},
    {"saved_utc", [](const SettingEntry& s) -> QVariant { return s.savedUtc; },
     [](SettingEntry& s, const QVariant& v) { s.savedUtc = v.toString(); }},
    {"saved_by", [](const SettingEntry& s) -> QVariant { return s.savedBy; },
     [](SettingEntry& s, const QVariant& v) { s.savedBy = v.toString(); }}};
static_assert(namesTheFields(settingColumns, settingsTable));

QSqlError insertSettings(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                         const QMap<QString, QString>& values)
{
    QVariant last;
    QDateTime now;
    QSqlError error = serialised(database, dialect);
    if (!error.isValid())
        error = serverClock(database, dialect, now);
    if (!error.isValid() &&
        (values.contains(QStringLiteral("pattern")) || values.contains(QStringLiteral("prefix")))) {
        LabSettings changed;
        error = readSettings(database, changed);
        for (auto at = values.cbegin(); at != values.cend(); ++at)
            changed.values.insert(at.key(), at.value());
        qint64 sequence = 0;
        QString number;
        if (!error.isValid())
            error = nextNumber(database, changed, now, sequence, number);
    }
    if (!error.isValid())
        error =
            firstValue(database, QStringLiteral("SELECT max(entry) FROM lab_settings"), {}, last);
    SettingEntry row{last.toLongLong(), {}, {}, now.toString(Qt::ISODateWithMs), savedBy};
    const QString insert = QStringLiteral("INSERT INTO lab_settings (%1) VALUES (%2)")
                               .arg(columnNames<SettingEntry>(settingColumns),
                                    placeholders<SettingEntry>(settingColumns));
    for (auto at = values.cbegin(); !error.isValid() && at != values.cend(); ++at) {
        ++row.entry;
        row.setting = at.key();
        row.value = at.value();
        QSqlQuery query(database);
        error = exec(query, insert, valuesOf<SettingEntry>(settingColumns, row));
        if (!error.isValid())
            error = seal(database, dialect, settingsTable, {{}, row.entry}, savedBy);
    }
    return error;
}
} // namespace

namespace {

// Whether a character is in a block the certificate's font draws, for its script: the
// letters of the Latin, Greek and Cyrillic alphabets as written today, and the punctuation,
// currency, arrows and operators beside them; no compatibility form (full-width, circled,
// ligatures, mathematical letters), which reads back as another character.
bool inDrawnBlock(char32_t c, QChar::Script script)
{
    const auto within = [c](char32_t from, char32_t to) { return c >= from && c <= to; };
    switch (script) {
    case QChar::Script_Latin:
        return within(0x20, 0x24F) || within(0x1E00, 0x1EFF);
    case QChar::Script_Greek:
        return within(0x370, 0x3FF) || within(0x1F00, 0x1FFF);
    case QChar::Script_Cyrillic:
        return within(0x400, 0x4FF);
    case QChar::Script_Common:
        return within(0x20, 0xFF) || within(0x2010, 0x205E) || within(0x20A0, 0x20C0) ||
               within(0x2190, 0x21FF) || within(0x2200, 0x22FF);
    default:
        return false;
    }
}

// Whether a certificate number's text prints in the certificate's font, left to right, and
// reads back from its page as written: no script it has no letters of, none written right to
// left, no mark combined with the letter before it, no run of blanks, no blank at either end.
bool printsAsWritten(const QString& text)
{
    if (text != text.trimmed() || text.contains(QStringLiteral("  ")) ||
        text != text.normalized(QString::NormalizationForm_KC))
        return false;
    for (const char32_t c : text.toUcs4()) {
        const QChar::Direction direction = QChar::direction(c);
        if (!inDrawnBlock(c, QChar::script(c)) || direction == QChar::DirR ||
            direction == QChar::DirAL ||
            (QChar::category(c) == QChar::Separator_Space && c != U' '))
            return false;
    }
    return true;
}

} // namespace

namespace {

// ISO 3166-1's two capital letters, as a Digital Calibration Certificate names its country.
bool isCountryCode(const QString& value)
{
    return value.size() == 2 && value.at(0) >= QLatin1Char('A') &&
           value.at(0) <= QLatin1Char('Z') && value.at(1) >= QLatin1Char('A') &&
           value.at(1) <= QLatin1Char('Z');
}

} // namespace

LabRefusal labSettingProblem(const QString& name, const QString& value)
{
    const bool long_ = name == QLatin1String("address") || name == QLatin1String("statements") ||
                       name == QLatin1String("cmc") || name == QLatin1String("signing-nss");
    if (name == QLatin1String("logo"))
        return {};
    if (value.size() > (long_ ? 1000 : 200) || unsafeLine(value) || holdsInvisible(value)) {
        LabRefusal refusal = refusedAs(LabRefusalKind::SettingText, name);
        refusal.limit = long_ ? 1000 : 200;
        return refusal;
    }
    const QStringList yesOrNo{QString(), QStringLiteral("yes"), QStringLiteral("no")};
    const QStringList needs{QString(), QStringLiteral("none"), QStringLiteral("reviewed"),
                            QStringLiteral("approved")};
    if ((name == QLatin1String("same-person-may-approve") && !yesOrNo.contains(value)) ||
        (name == QLatin1String("issue-needs") && !needs.contains(value)))
        return refusedAs(LabRefusalKind::SettingChoice, name);
    if (name == QLatin1String("pattern") && !value.isEmpty() && !validNumberPattern(value))
        return refusedAs(LabRefusalKind::SettingPattern, name);
    if ((name == QLatin1String("pattern") || name == QLatin1String("prefix")) &&
        !printsAsWritten(value))
        return refusedAs(LabRefusalKind::SettingNumberText, name);
    if (name == QLatin1String("cmc") && !value.isEmpty() &&
        !calc::readKeptScope(value.toStdString()).ok())
        return refusedAs(LabRefusalKind::SettingScope, name);
    if (name == QLatin1String("country") && !value.isEmpty() && !isCountryCode(value))
        return refusedAs(LabRefusalKind::SettingCountry, name);
    if (name == QLatin1String("interval-factors") && !value.isEmpty()) {
        const auto factors = calc::readIntervalFactors(value.toStdString());
        if (!factors || calc::intervalFactorsText(*factors) != value.toStdString())
            return refusedAs(LabRefusalKind::SettingFactors, name);
    }
    if (name == QLatin1String("pooled-repeatability") && !value.isEmpty()) {
        const calc::PooledReading pooled =
            calc::readPooled(value.toStdString(), calc::Separators{".", ""});
        if (!pooled.ok() || calc::pooledText(pooled.value) != value.toStdString())
            return refusedAs(LabRefusalKind::SettingPooled, name);
    }
    return {};
}

namespace {

// Whether a drawing takes an image from a file or address: it would draw whatever that holds
// on each workstation at each print, where the logo is the drawing alone.
bool takesFromElsewhere(const QByteArray& svg)
{
    static const QRegularExpression elsewhere(
        QStringLiteral(
            "(href\\s*=\\s*[\"']\\s*(?!#|data:)|url\\(\\s*[\"']?\\s*(?!#|data:)|@import)"),
        QRegularExpression::CaseInsensitiveOption);
    return elsewhere.match(QString::fromUtf8(svg)).hasMatch();
}

} // namespace

QString logoFromFile(const QString& path, QString& fault)
{
    // A plain file only, judged before it is opened: a pipe would never end, a device never
    // stop giving bytes.
    constexpr qint64 largest = 512 * 1024;
    const QFileInfo info(path);
    if (!info.isFile()) {
        fault = QStringLiteral("the logo %1 is no file").arg(path);
        return {};
    }
    if (info.size() > largest) {
        fault = QStringLiteral("the logo %1 is larger than 512 KiB").arg(path);
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fault = QStringLiteral("the logo %1 cannot be read: %2").arg(path, file.errorString());
        return {};
    }
    const QByteArray bytes = file.read(largest + 1);
    if (bytes.size() > largest) {
        fault = QStringLiteral("the logo %1 is larger than 512 KiB").arg(path);
        return {};
    }
    const bool png = bytes.startsWith("\x89PNG\r\n\x1a\n");
    const bool svg = bytes.left(512).contains("<svg");
    if (file.error() != QFileDevice::NoError || (!png && !svg)) {
        fault = QStringLiteral("the logo %1 is no PNG or SVG image").arg(path);
        return {};
    }
    if (svg && takesFromElsewhere(bytes)) {
        fault = QStringLiteral("the logo %1 takes part of itself from another file or address: "
                               "give a drawing that holds all of itself")
                    .arg(path);
        return {};
    }
    return QString::fromLatin1((png ? "png:" : "svg:") + bytes.toBase64());
}

calc::IntervalFactors LabSettings::intervalFactors(bool& readable) const
{
    const QString kept = value(QStringLiteral("interval-factors"));
    const auto factors = calc::readIntervalFactors(kept.toStdString());
    readable = kept.isEmpty() || factors.has_value();
    return factors.value_or(calc::IntervalFactors{});
}

const QStringList& LabSettings::names()
{
    static const QStringList known{QStringLiteral("name"),
                                   QStringLiteral("address"),
                                   QStringLiteral("accreditation"),
                                   QStringLiteral("accreditation-body"),
                                   QStringLiteral("pattern"),
                                   QStringLiteral("prefix"),
                                   QStringLiteral("statements"),
                                   QStringLiteral("logo"),
                                   QStringLiteral("registered-references-only"),
                                   QStringLiteral("cmc"),
                                   QStringLiteral("pooled-repeatability"),
                                   QStringLiteral("same-person-may-approve"),
                                   QStringLiteral("issue-needs"),
                                   QStringLiteral("signing-nss"),
                                   QStringLiteral("signing-nick"),
                                   QStringLiteral("interval-factors"),
                                   QStringLiteral("country")};
    return known;
}

LabRefusal takeLabTerms(const LabSettings& lab, RecordInput& input)
{
    const calc::ScopeReading scope = lab.scope();
    if (!scope.ok())
        return refusedAs(LabRefusalKind::SettingScope, QStringLiteral("cmc"));
    bool readable = true;
    const std::optional<calc::PooledRepeatability> pooled = lab.pooledRepeatability(readable);
    if (!readable)
        return refusedAs(LabRefusalKind::SettingPooled, QStringLiteral("pooled-repeatability"));
    input.scope = scope.ranges;
    input.setUp.pooled = pooled;
    return {};
}

std::optional<calc::PooledRepeatability> LabSettings::pooledRepeatability(bool& readable) const
{
    const std::string kept = value(QStringLiteral("pooled-repeatability")).toStdString();
    readable = true;
    if (kept.empty())
        return std::nullopt;
    const calc::PooledReading reading = calc::readPooled(kept, calc::Separators{".", ""});
    readable = reading.ok() && calc::pooledText(reading.value) == kept;
    return readable ? std::optional(reading.value) : std::nullopt;
}

bool LabSettings::registeredReferencesOnly() const
{
    const QString set = value(QStringLiteral("registered-references-only"));
    return set == QLatin1String("yes") ||
           (set.isEmpty() && !value(QStringLiteral("accreditation")).isEmpty());
}

calc::ScopeReading LabSettings::scope() const
{
    return calc::readKeptScope(value(QStringLiteral("cmc")).toStdString());
}

StoreFailure readLabSettings(RecordStore& store, LabSettings& settings, qint64 upTo)
{
    settings = {};
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        return version < registerVersion ? QSqlError() : readSettings(database, settings, upTo);
    });
}

StoreFailure setLabSettings(RecordStore& store, const QMap<QString, QString>& values)
{
    return store.change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return insertSettings(database, dialect, savedBy, values);
        },
        refusalOf);
}
} // namespace quarvet::lab
