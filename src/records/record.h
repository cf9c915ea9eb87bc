#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace quarvet::records {

// One reading of a verification: the target and what the instrument read after adjustment.
struct VerificationReading {
    double target = 0.0;
    double reading = 0.0;

    bool operator==(const VerificationReading&) const = default;
};

// One calibration record, as it is kept: never changed once saved. A correction is a new
// record that names the one it corrects.
struct Record {
    QString id;           // a UUID, without braces
    QDateTime createdUtc; // when it was saved, in UTC
    QString programVersion;
    QString instrumentType; // a model number of the instrument type table
    QString serial;
    int displayLine = 1; // 1 or 2
    QString technician;
    QString referenceId;
    double referenceUncertainty = 0.0; // expanded, k = 2, °C
    QDate referenceDue;
    std::optional<double> ambient;       // °C
    std::array<QString, 4> entriesTyped; // target 1, target 2, indicated 1, indicated 2
    std::array<double, 4> entriesRead{};
    QString currentSlopeCode;
    QString currentOffsetCode;
    QString slopeCode;
    QString offsetCode;
    std::array<double, 2> predictedErrors{};
    QList<VerificationReading> verification;
    std::optional<double> tolerance;
    QString rule;
    QString verdict; // "Pass", "Fail", or empty without a verification
    QString note;
    QString corrects; // the id of the record this one corrects, or empty
    // Set by the store as it saves: who saved it as the system sees it (login@host, or the
    // database role @ the client's address), and the record's link in the store's hash chain.
    // Empty in records saved before the store kept them.
    QString savedBy;
    QString previousHash; // the hash of the record saved before it, in hexadecimal
    QString hash;         // SHA-256 of its canonical form, which holds previousHash

    bool operator==(const Record&) const = default;
};

} // namespace quarvet::records
