#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

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
    QString unit;          // of the reference value, as the document writes it
    QString indicatedUnit; // of the indicated value
    QString errorUnit;     // of the error and its uncertainty
};

// One value of the document: an element's text or an attribute, where it stands (`path`,
// with `attribute` for an attribute's value or "#text" for text beside elements), and what
// it is called by the names of the parts that hold it (`names`, then the element's own).
struct DccValue {
    QString path;
    QString attribute;
    QStringList names;
    QString element;
    QString value;
    bool compared = true; // false: what may differ between prints of one certificate

    QString where() const
    {
        return attribute.isEmpty() ? path : path + QStringLiteral("/@") + attribute;
    }
    QString label() const;
};

struct DccReading {
    QString fault; // why the document does not read as a DCC; empty when it does
    QString number;
    QString kind; // "issued", "copy" or "draft" for this program's; empty for another's
    QString country;
    QString laboratory;
    QString customer;
    QString item;
    QString model;
    QString serial;
    QString timeZone; // whose days its dates are, where it says
    // What it says has superseded it since, which a reader holds against the store: the
    // statement is not among the values compared, since a later print says it.
    QString supersededBy;
    QStringList supersession; // every value of that statement, where it stands
    QString asFound;          // the verdicts in words, where the document states them
    QString asLeft;
    // What the document says of itself: its record, the record's hash, the chain head.
    QString recordId;
    QString recordHash;
    QString chainHead;
    int signatures = 0; // XML signatures, wherever they stand
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
    QString filePath;
};
std::optional<DccDifference> firstDifference(const DccReading& file, const DccReading& store);

} // namespace quarvet::dcc
