#pragma once

// A record with every field set, for the tests of the records, their certificate and their
// windows.

#include "records/record.h"

#include <QTimeZone>

#include <limits>

namespace quarvet::test {

// Every field set, each to a value found nowhere else on the page.
inline quarvet::records::Record fixedRecord()
{
    quarvet::records::Record record;
    record.id = QStringLiteral("3f2b8c1e-7a4d-4e9b-9c61-2d5e8f0a1b7c");
    record.createdUtc = QDateTime(QDate(2025, 3, 14), QTime(9, 30, 5), QTimeZone::utc());
    record.programVersion = QStringLiteral("0.9.7");
    record.instrumentType = QStringLiteral("7420");
    record.serial = QStringLiteral("SN-4711-A");
    record.displayLine = 2;
    record.technician = QStringLiteral("Jörg O'Brien");
    record.referenceId = QStringLiteral("PT100-REF-7");
    record.referenceUncertainty = 0.02;
    record.referenceDue = QDate(2027, 3, 1);
    record.ambient = 23.4;
    record.entriesTyped = {QStringLiteral("0"), QStringLiteral("100"), QStringLiteral("0,5"),
                           QStringLiteral("99.0")};
    record.entriesRead = {0, 100, 0.5, 99};
    record.currentSlopeCode = QStringLiteral("2710");
    record.currentOffsetCode = QStringLiteral("0000");
    record.slopeCode = QStringLiteral("27A8");
    record.offsetCode = QStringLiteral("FE04");
    record.predictedErrors = {-0.00039999999999995595, -0.0031999999999783313};
    record.verification = {{0, 0.03}, {100, 99.99}, {50, 50.02}};
    record.tolerance = 0.1;
    record.rule = QStringLiteral("pass when |error| ≤ tolerance − uncertainty (guard band = 0.02)");
    record.verdict = QStringLiteral("Pass");
    record.note = QStringLiteral("Probe cleaned before the run; drift checked.");
    record.corrects = QStringLiteral("a1b2c3d4-0000-4000-8000-00000000abcd");
    return record;
}

// The same with the uncertainty of each result, as records are kept since it is evaluated:
// each value again found nowhere else.
inline quarvet::records::Record evaluatedRecord()
{
    quarvet::records::Record record = fixedRecord();
    record.setUp = quarvet::records::BudgetSetUp{2.5, 0.007, 0.001, 0.013, 0.004, std::nullopt};
    record.decisionRule = QStringLiteral("guarded");
    record.rule = QStringLiteral("guarded acceptance: pass when |error| ≤ tolerance − U at each "
                                 "point (guard band w = U of that point's result)");
    record.asFoundVerdict = QStringLiteral("Fail");
    const double inf = std::numeric_limits<double>::infinity();
    record.asFoundPoints = quarvet::records::pointsText(
        {{0, {0.5}, 0.0161, inf, 2, 0.033, QStringLiteral("Fail"), {}},
         {100, {99, 99.01, 98.99}, 0.0187, 2.9, 3.18, 0.06, QStringLiteral("Fail"), {}}});
    record.asLeftPoints = quarvet::records::pointsText(
        {{0, {0.03}, 0.0162, inf, 2, 0.034, QStringLiteral("Pass"), {}},
         {100, {99.99}, 0.0163, inf, 2, 0.035, QStringLiteral("Pass"), {}},
         {50, {50.02, 50.04}, 0.0171, 1.0, 13.97, 0.24, QStringLiteral("Not judged"), {}}});
    return record;
}

} // namespace quarvet::test
