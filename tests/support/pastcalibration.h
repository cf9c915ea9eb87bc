#pragma once

// A calibration record of a chosen day, as the store keeps one, for the tests of the register
// of instruments, which hold due days to the days of records.

#include "records/record.h"

#include <QTimeZone>
#include <QUuid>

namespace quarvet::test {

// A record of type 742 and `serial` saved at noon UTC on `day` (that day in any time zone
// within twelve hours of it), found `found` before adjustment with errors 0.1 at 0 °C and −0.2
// at 100 °C against ±0.5 °C; a correction of `corrects` where given.
inline records::Record calibrationOn(const QString& serial, const QDate& day, const QString& found,
                                     const QString& corrects = {})
{
    records::Record record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.createdUtc = QDateTime(day, QTime(12, 0), QTimeZone::utc());
    record.programVersion = QStringLiteral("1.0.0");
    record.instrumentType = QStringLiteral("742");
    record.serial = serial;
    record.technician = QStringLiteral("T");
    record.referenceId = QStringLiteral("R");
    record.referenceUncertainty = 0.02;
    record.referenceDue = QDate(2099, 1, 1);
    record.entriesTyped = {"0", "100", "0.1", "99.8"};
    record.entriesRead = {0, 100, 0.1, 99.8};
    record.currentSlopeCode = record.slopeCode = QStringLiteral("2710");
    record.currentOffsetCode = record.offsetCode = QStringLiteral("0000");
    record.tolerance = 0.5;
    record.decisionRule = QStringLiteral("simple");
    record.asFoundVerdict = found;
    record.asFoundPoints = records::pointsText(
        {{0, {0.1}, 0.01, 1e9, 2, 0.02, found, {}}, {100, {99.8}, 0.01, 1e9, 2, 0.02, found, {}}});
    record.corrects = corrects;
    if (!corrects.isEmpty())
        record.correctionReason = QStringLiteral("typing error");
    return record;
}

} // namespace quarvet::test
