#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A DCC read back: this program's own or another laboratory's that follows the same good
// practice (results basic_asFound and basic_asLeft, points basic_calibrationPoint, quantities
// basic_referenceValue, basic_measuredValue, basic_measurementError), and every value the
// document holds, each named, for comparing it with what the store would write.
namespace quarvet::dcc {

// One result at one calibration point, each number as the document writes it.
struct DccPoint {
    QString section; // "as found", "as left", or the result's name
    QString reference;
    QString indicated;
    QString error;
    QString U;
    QString k;
    QString probability;
    QString readings;
    QString conformity;
};

// One value of the document: an element's text or an attribute, where it stands (`path`)
// and what it is called by the names of the parts that hold it (`label`).
struct DccValue {
    QString path;
    QString label;
    QString value;
    bool compared = true; // false: what may differ between prints of one certificate
};

struct DccReading {
    QString fault; // why the document does not read as a DCC; empty when it does
    QString number;
    QString kind = QStringLiteral("issued"); // or "copy", "draft"
    QString country;
    QString laboratory;
    QString customer;
    QString item;
    QString model;
    QString serial;
    QString asFound; // the verdicts in words, where the document states them
    QString asLeft;
    // What the document says of itself: its record, the record's hash, the chain head.
    QString recordId;
    QString recordHash;
    QString chainHead;
    bool signedDocument = false;
    QList<DccPoint> points;
    QList<DccValue> values;
};

// The most a DCC may be: a certificate of thousands of points is a few megabytes.
inline constexpr qint64 largestDcc = 64 * 1024 * 1024;

DccReading readDcc(const QByteArray& bytes);

// The first value where `file` says other than `store`; none where every compared value is
// the same. A value one holds and the other lacks is a difference with an empty side.
struct DccDifference {
    QString path; // the store's, or the file's where the store gives nothing there
    QString label;
    QString found;    // what the file says
    QString expected; // what the store gives
    // The file holds another part there (`fileLabel`), or none, or one the store lacks.
    bool otherPart = false;
    QString fileLabel;
};
std::optional<DccDifference> firstDifference(const DccReading& file, const DccReading& store);

} // namespace quarvet::dcc
