#pragma once

#include "lab/labrefusal.h"
#include "records/recordform.h"
#include "records/recordstore.h"

#include "calc/recall.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// The register of the instruments the laboratory looks after, kept in the store beside the
// records and, like them, never changed: a new entry for every change. And when each is due:
// from its last calibration, its interval and its state, decided here for every face.
namespace quarvet::lab {

enum class InstrumentState { InService, OutOfService, Retired };
// "in service", "out of service", "retired": as the register keeps them and people read them.
QString stateText(InstrumentState state);
// The state a text names, with blanks or hyphens between its words; none for another text.
std::optional<InstrumentState> readState(const QString& text);

// One entry of the register: the instrument as it stood from `savedUtc` on.
struct Instrument {
    qint64 sequence = 0; // the store's, across every instrument
    QString type;        // a model number of the type table
    QString serial;
    int entry = 0; // 1 for its first entry, one more for each change
    int line = 1;
    QString description;
    QString owner; // empty: the laboratory's own
    QString location;
    int intervalMonths = 12;
    // What a calibration of it is done with unless said otherwise.
    std::optional<double> tolerance;
    QString rule; // "guarded", "simple", "non-binary", or empty
    std::optional<double> target1;
    std::optional<double> target2;
    std::optional<double> thirdPoint;
    InstrumentState state = InstrumentState::InService;
    QDate registered;
    QDate returned; // invalid when it never came back into service
    QDateTime intervalReviewedUtc;
    QDateTime savedUtc;
    QString savedBy;

    bool operator==(const Instrument&) const = default;
};

// What is wrong with an entry before it goes into the register; none when nothing is: its
// texts on one line (the serial 1 to 200 characters without blanks around it, the others at
// most 200), a known type, line 1 or 2, an interval of shortestInterval to longestInterval
// months, a tolerance above 0, targets finite and apart, a known rule.
LabRefusal instrumentProblem(const Instrument& instrument);

// Adds `instrument` as its first entry; refused when the register holds its type and serial.
// Its entry, sequence, day registered and saving are the store's.
records::StoreFailure registerInstrument(records::RecordStore& store, Instrument& instrument);
// Adds `instrument` as the entry after `basedOn`, refused when the register does not hold it
// or another entry came after `basedOn` meanwhile. Coming back into service dates `returned`;
// a new interval, or `reviewed`, dates the review of its interval.
records::StoreFailure changeInstrument(records::RecordStore& store, Instrument& instrument,
                                       int basedOn, bool reviewed = false);
// Every entry of one instrument, oldest first; none when the register does not hold it.
records::StoreFailure instrumentEntries(records::RecordStore& store, const QString& type,
                                        const QString& serial, QList<Instrument>& entries);
// The newest entry of each instrument with `serial`, of any type, by type.
records::StoreFailure instrumentsWithSerial(records::RecordStore& store, const QString& serial,
                                            QList<Instrument>& instruments);

// Which instruments a listing takes: every one where a field is not given.
struct InstrumentFilter {
    std::optional<QString> type;
    std::optional<QString> serial;
    std::optional<QString> owner;
    std::optional<QString> location;
    std::optional<InstrumentState> state;
};

// An instrument with what its records say of it.
struct Recall {
    Instrument instrument;
    QString lastRecordId;       // its last calibration's record, empty when none
    QDate lastCalibration;      // that calibration's day (a correction's: the day it corrects)
    QString lastAsFoundVerdict; // as the record keeps it
    std::optional<QDate> due;   // none out of service or retired
    // A calibration since its interval was last reviewed found it out of tolerance.
    bool review = false;

    bool overdueOn(const QDate& today) const { return due && *due < today; }
};

// The day an instrument is due: its last calibration plus its interval (a month end stays
// within its month: 29 February and 12 months is 28 February); at once where it never was
// calibrated or came back into service after its last calibration; none out of service or
// retired.
std::optional<QDate> dueDay(const Instrument& instrument, const QDate& lastCalibration);

// Calls `each` with every instrument `filter` takes, its newest entry with what its records
// say, by type and serial number, reading a row at a time; stops where `each` says false.
records::StoreFailure walkInstruments(records::RecordStore& store, const InstrumentFilter& filter,
                                      const std::function<bool(Recall&&)>& each);

// Where a page of instruments in the order of their due days stops: the next page begins after.
struct DueKey {
    QDate due; // invalid: not due, after every day
    QString type;
    QString serial;
};
bool dueBefore(const DueKey& a, const DueKey& b);
DueKey dueKeyOf(const Recall& recall);

// What `keep` makes of each instrument due by `limit` (overdue ones included), earliest first,
// then by type and serial number: only that is held while the register is read, however many
// are due, so a caller that keeps the line it prints holds no more than its output.
template <typename Kept>
records::StoreFailure dueBy(records::RecordStore& store, const InstrumentFilter& filter,
                            const QDate& limit, const std::function<Kept(const Recall&)>& keep,
                            std::vector<Kept>& due)
{
    std::vector<std::pair<DueKey, Kept>> held;
    const records::StoreFailure failure = walkInstruments(store, filter, [&](Recall&& recall) {
        if (recall.due && *recall.due <= limit)
            held.emplace_back(dueKeyOf(recall), keep(recall));
        return true;
    });
    std::stable_sort(held.begin(), held.end(),
                     [](const auto& a, const auto& b) { return dueBefore(a.first, b.first); });
    due.clear();
    for (auto& [key, kept] : held)
        due.push_back(std::move(kept));
    return failure;
}
// Up to `count` instruments in the order of their due days (those not due last), after
// `after` when given: one pass over the register, holding no more than a page.
records::StoreFailure duePage(records::RecordStore& store, const InstrumentFilter& filter,
                              const std::optional<DueKey>& after, int count, QList<Recall>& page);

} // namespace quarvet::lab
