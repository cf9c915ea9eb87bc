#include "instruments.h"

#include "labsql.h"
#include "records/columns.h"
#include "records/keptseals.h"
#include "records/recordformat.h"

#include <QSqlRecord>

#include <cmath>

namespace quarvet::lab {

using namespace records;

QString stateText(InstrumentState state)
{
    switch (state) {
    case InstrumentState::OutOfService:
        return QStringLiteral("out of service");
    case InstrumentState::Retired:
        return QStringLiteral("retired");
    default:
        return QStringLiteral("in service");
    }
}

std::optional<InstrumentState> readState(const QString& text)
{
    QString words = text.trimmed().toLower();
    words.replace(QLatin1Char('-'), QLatin1Char(' '));
    for (InstrumentState state :
         {InstrumentState::InService, InstrumentState::OutOfService, InstrumentState::Retired})
        if (words == stateText(state))
            return state;
    return std::nullopt;
}

namespace {

using Column = TableColumn<Instrument>;

// Qt binds a null text as SQL NULL; the register's texts are never NULL, at most empty.
QVariant kept(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QVariant optionalText(const std::optional<double>& value)
{
    return kept(value ? numberText(*value) : QString());
}

std::optional<double> optionalNumber(const QVariant& value)
{
    bool read = false;
    const double number = value.toString().toDouble(&read);
    return read ? std::optional<double>(number) : std::nullopt;
}

QString utcText(const QDateTime& when)
{
    return when.isValid() ? when.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime utcOf(const QVariant& value)
{
    const QString text = value.toString();
    return text.isEmpty() ? QDateTime() : storedTime(text);
}

#define INSTRUMENT_TEXT(column, field)                                                             \
    {                                                                                              \
        column, [](const Instrument& i) -> QVariant { return kept(i.field); },                     \
            [](Instrument& i, const QVariant& v) { i.field = v.toString(); }                       \
    }
#define INSTRUMENT_NUMBER(column, field)                                                           \
    {                                                                                              \
        column, [](const Instrument& i) -> QVariant { return optionalText(i.field); },             \
            [](Instrument& i, const QVariant& v) { i.field = optionalNumber(v); }                  \
    }
#define INSTRUMENT_DATE(column, field)                                                             \
    {                                                                                              \
        column,                                                                                    \
            [](const Instrument& i) -> QVariant { return kept(i.field.toString(Qt::ISODate)); },   \
            [](Instrument& i, const QVariant& v) {                                                 \
                i.field = QDate::fromString(v.toString(), Qt::ISODate);                            \
            }                                                                                      \
    }
#define INSTRUMENT_UTC(column, field)                                                              \
    {                                                                                              \
        column, [](const Instrument& i) -> QVariant { return kept(utcText(i.field)); },            \
            [](Instrument& i, const QVariant& v) { i.field = utcOf(v); }                           \
    }

constexpr Column instrumentColumns[] = {
    {"sequence", [](const Instrument& i) -> QVariant { return i.sequence; },
     [](Instrument& i, const QVariant& v) { i.sequence = v.toLongLong(); }},
    INSTRUMENT_TEXT("instrument_type", type),
    INSTRUMENT_TEXT("serial", serial),
    {"entry", [](const Instrument& i) -> QVariant { return i.entry; },
     [](Instrument& i, const QVariant& v) { i.entry = v.toInt(); }},
    {"display_line", [](const Instrument& i) -> QVariant { return i.line; },
     [](Instrument& i, const QVariant& v) { i.line = v.toInt(); }},
    INSTRUMENT_TEXT("description", description),
    INSTRUMENT_TEXT("owner", owner),
    INSTRUMENT_TEXT("location", location),
    {"interval_months", [](const Instrument& i) -> QVariant { return i.intervalMonths; },
     [](Instrument& i, const QVariant& v) { i.intervalMonths = v.toInt(); }},
    INSTRUMENT_NUMBER("tolerance", tolerance),
    INSTRUMENT_TEXT("decision_rule", rule),
    INSTRUMENT_NUMBER("target1", target1),
    INSTRUMENT_NUMBER("target2", target2),
    INSTRUMENT_NUMBER("third_point", thirdPoint),
    {"state", [](const Instrument& i) -> QVariant { return stateText(i.state); },
     [](Instrument& i, const QVariant& v) {
         // A state no program of ours wrote takes the instrument out of service: it is not
         // called for as if it were in use.
         i.state = readState(v.toString()).value_or(InstrumentState::OutOfService);
     }},
    INSTRUMENT_DATE("registered", registered),
    INSTRUMENT_DATE("returned", returned),
    INSTRUMENT_UTC("interval_reviewed_utc", intervalReviewedUtc),
    INSTRUMENT_UTC("saved_utc", savedUtc),
    INSTRUMENT_TEXT("saved_by", savedBy)};
static_assert(namesTheFields(instrumentColumns, instrumentsTable));

#undef INSTRUMENT_TEXT
#undef INSTRUMENT_NUMBER
#undef INSTRUMENT_DATE
#undef INSTRUMENT_UTC

QString selected(const QString& alias = QStringLiteral("i"))
{
    QStringList names;
    for (const Column& column : instrumentColumns)
        names << alias + QLatin1Char('.') + QLatin1String(column.name);
    return names.join(QStringLiteral(", "));
}

QSqlError readInstruments(QSqlDatabase database, const QString& statement,
                          const QVariantList& values, QList<Instrument>& instruments)
{
    QSqlQuery query(database);
    const QSqlError error = exec(query, statement, values);
    while (!error.isValid() && query.next())
        instruments << rowFrom<Instrument>(instrumentColumns, query);
    return error.isValid() ? error : query.lastError();
}

QSqlError newestOf(QSqlDatabase database, const Instrument& instrument,
                   std::optional<Instrument>& newest)
{
    QList<Instrument> found;
    const QSqlError error =
        readInstruments(database,
                        QStringLiteral("SELECT %1 FROM instruments i WHERE instrument_type = ? AND "
                                       "serial = ? ORDER BY entry DESC LIMIT 1")
                            .arg(selected()),
                        {instrument.type, instrument.serial}, found);
    newest = found.isEmpty() ? std::nullopt : std::optional<Instrument>(found.first());
    return error;
}

// What an entry carries from the one before it, and what a change of state or interval dates.
void carryOver(const std::optional<Instrument>& before, bool reviewed, Instrument& instrument)
{
    const QDate today = instrument.savedUtc.toLocalTime().date();
    if (!before) {
        instrument.registered = today;
        instrument.returned = QDate();
        instrument.intervalReviewedUtc = QDateTime();
        return;
    }
    instrument.registered = before->registered;
    instrument.returned = before->returned;
    instrument.intervalReviewedUtc = before->intervalReviewedUtc;
    if (before->state != InstrumentState::InService &&
        instrument.state == InstrumentState::InService)
        instrument.returned = today;
    if (reviewed || before->intervalMonths != instrument.intervalMonths)
        instrument.intervalReviewedUtc = instrument.savedUtc;
}

QString named(const Instrument& instrument)
{
    return instrument.type + QLatin1Char(' ') + instrument.serial;
}

// Adds the entry after `basedOn` (0: a new instrument) in the caller's transaction.
QSqlError insertInstrument(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                           Instrument& instrument, int basedOn, bool reviewed)
{
    std::optional<Instrument> before;
    QVariant last;
    QSqlError error = serialised(database, dialect);
    if (!error.isValid())
        error = serverClock(database, dialect, instrument.savedUtc);
    if (!error.isValid())
        error = newestOf(database, instrument, before);
    if (!error.isValid())
        error =
            firstValue(database, QStringLiteral("SELECT max(sequence) FROM instruments"), {}, last);
    if (error.isValid())
        return error;
    if (basedOn == 0 && before)
        return refused(StoreFaultKind::InstrumentExists, named(instrument));
    if (basedOn > 0 && !before)
        return refused(StoreFaultKind::NoSuchInstrument, named(instrument));
    if (basedOn > 0 && before->entry != basedOn)
        return refused(StoreFaultKind::InstrumentChanged, named(instrument));
    carryOver(before, reviewed, instrument);
    instrument.entry = basedOn + 1;
    instrument.sequence = last.toLongLong() + 1;
    instrument.savedBy = savedBy;
    QSqlQuery query(database);
    error = exec(query,
                 QStringLiteral("INSERT INTO instruments (%1) VALUES (%2)")
                     .arg(columnNames<Instrument>(instrumentColumns),
                          placeholders<Instrument>(instrumentColumns)),
                 valuesOf<Instrument>(instrumentColumns, instrument));
    return error.isValid()
               ? error
               : seal(database, dialect, instrumentsTable, {{}, instrument.sequence}, savedBy);
}

StoreFailure addEntry(RecordStore& store, Instrument& instrument, int basedOn, bool reviewed)
{
    return store.change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return insertInstrument(database, dialect, savedBy, instrument, basedOn, reviewed);
        },
        refusalOf);
}

bool wrongText(const QString& text, bool required)
{
    return (required && text.trimmed().isEmpty()) || text.size() > 200 || unsafeLine(text) ||
           holdsInvisible(text);
}

bool wrongNumber(const std::optional<double>& value)
{
    return value && !std::isfinite(*value);
}

// A temperature no instrument of the table reads: below absolute zero, or hotter than any.
bool noTemperature(const std::optional<double>& value)
{
    return wrongNumber(value) || (value && (*value < -273.15 || *value > 3000.0));
}

} // namespace

Instrument instrumentOf(const QSqlQuery& query)
{
    return rowFrom<Instrument>(instrumentColumns, query);
}

std::vector<int> instrumentPositions(const QSqlQuery& query)
{
    const QSqlRecord shape = query.record();
    std::vector<int> positions;
    for (const Column& column : instrumentColumns)
        positions.push_back(shape.indexOf(QLatin1String(column.name)));
    return positions;
}

// Read by position: asked by name, Qt makes the whole record's description again for every
// value, which a walk of a hundred thousand instruments spends most of its time in.
Instrument instrumentOf(const QSqlQuery& query, const std::vector<int>& positions)
{
    Instrument instrument;
    for (std::size_t n = 0; n < std::size(instrumentColumns); ++n)
        instrumentColumns[n].read(instrument, query.value(positions[n]));
    return instrument;
}

LabRefusal instrumentProblem(const Instrument& instrument)
{
    const std::tuple<const char*, const QString*, bool> texts[] = {
        {"serial number", &instrument.serial, true},
        {"description", &instrument.description, false},
        {"owner", &instrument.owner, false},
        {"location", &instrument.location, false}};
    for (const auto& [name, text, required] : texts)
        if (wrongText(*text, required))
            return refusedAs(LabRefusalKind::InstrumentText, QLatin1String(name));
    if (instrument.serial != instrument.serial.trimmed())
        return refusedAs(LabRefusalKind::InstrumentBlanks);
    if (!modelNumbers().contains(instrument.type))
        return refusedAs(LabRefusalKind::InstrumentType, instrument.type);
    if (instrument.line != 1 && instrument.line != 2)
        return refusedAs(LabRefusalKind::InstrumentLine);
    if (instrument.intervalMonths < calc::shortestInterval ||
        instrument.intervalMonths > calc::longestInterval)
        return refusedAs(LabRefusalKind::InstrumentInterval);
    if (wrongNumber(instrument.tolerance) || (instrument.tolerance && !(*instrument.tolerance > 0)))
        return refusedAs(LabRefusalKind::InstrumentNumbers, QStringLiteral("tolerance"));
    if (noTemperature(instrument.target1) || noTemperature(instrument.target2) ||
        noTemperature(instrument.thirdPoint) ||
        instrument.target1.has_value() != instrument.target2.has_value() ||
        (instrument.target1 && *instrument.target1 == *instrument.target2))
        return refusedAs(LabRefusalKind::InstrumentNumbers, QStringLiteral("targets"));
    if (!instrument.rule.isEmpty() && instrument.rule != QLatin1String("guarded") &&
        instrument.rule != QLatin1String("simple") &&
        instrument.rule != QLatin1String("non-binary"))
        return refusedAs(LabRefusalKind::InstrumentRule);
    return {};
}

StoreFailure registerInstrument(RecordStore& store, Instrument& instrument)
{
    return addEntry(store, instrument, 0, false);
}

StoreFailure changeInstrument(RecordStore& store, Instrument& instrument, int basedOn,
                              bool reviewed)
{
    return addEntry(store, instrument, std::max(basedOn, 1), reviewed);
}

StoreFailure instrumentEntries(RecordStore& store, const QString& type, const QString& serial,
                               QList<Instrument>& entries)
{
    entries.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < instrumentVersion)
            return QSqlError();
        return readInstruments(database,
                               QStringLiteral("SELECT %1 FROM instruments i WHERE instrument_type "
                                              "= ? AND serial = ? ORDER BY entry")
                                   .arg(selected()),
                               {type, serial}, entries);
    });
}

StoreFailure instrumentsWithSerial(RecordStore& store, const QString& serial,
                                   QList<Instrument>& instruments)
{
    instruments.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < instrumentVersion)
            return QSqlError();
        return readInstruments(
            database,
            QStringLiteral("SELECT %1 FROM instruments i WHERE serial = ? AND entry = (SELECT "
                           "max(n.entry) FROM instruments n WHERE n.instrument_type = "
                           "i.instrument_type AND n.serial = i.serial) ORDER BY instrument_type")
                .arg(selected()),
            {serial}, instruments);
    });
}

std::optional<QDate> dueDay(const Instrument& instrument, const QDate& lastCalibration)
{
    if (instrument.state != InstrumentState::InService)
        return std::nullopt;
    // Back in service after its last calibration, or never calibrated: due the day it came.
    if (instrument.returned.isValid() &&
        (!lastCalibration.isValid() || instrument.returned > lastCalibration))
        return instrument.returned;
    if (!lastCalibration.isValid())
        return instrument.registered;
    return lastCalibration.addMonths(instrument.intervalMonths);
}

} // namespace quarvet::lab
