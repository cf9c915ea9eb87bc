#pragma once

#include "lab/certificates.h"
#include "records/record.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamWriter>

// How the DCC's parts are written: each element in its namespace, a text as the schema's
// textType wants it, a number in its shortest form that reads back as the same double.
namespace quarvet::dcc::detail {

inline const QString dccNamespace = QStringLiteral("https://ptb.de/dcc");
inline const QString siNamespace = QStringLiteral("https://ptb.de/si");
inline const QString celsius = QStringLiteral("\\degreecelsius");

class Writer {
public:
    explicit Writer(QByteArray& bytes) : xml_(&bytes) { xml_.setAutoFormatting(true); }

    QXmlStreamWriter& xml() { return xml_; }
    // What could not be written as it is kept; empty when all could.
    QString unwritable;
    QString number(double value);
    // A text as kept, noted where XML cannot carry one of its characters.
    const QString& kept(const QString& value);
    void open(const QString& name, const QString& refType = {});
    void close() { xml_.writeEndElement(); }
    void element(const QString& name, const QString& value);
    void text(const QString& name, const QString& value);
    void si(const QString& name, const QString& value);

private:
    QXmlStreamWriter xml_;
};

// A value in D-SI (°C unless `unit` says otherwise), with its expanded uncertainty at k where
// U and k are given (a U below 0 or a k below 1 gives none).
struct Value {
    double value = 0.0;
    double U = -1.0;
    double k = 0.0;
    QString unit = celsius;
};
void quantity(Writer& out, const QString& refType, const QString& name, const Value& value);
// A quantity that is no number: a code, a count, a distribution's name.
void noQuantity(Writer& out, const QString& refType, const QString& name, const QString& value);
// "pass", "fail", ... as the schema names a verdict; empty where there is none.
QString conformityOf(const QString& verdict);
// a − b worked out in decimals from the shortest text of each, then read to the nearest
// double: an error of 100.1 against 100 is 0.1, as a person works it out, not the binary
// difference 0.09999999999999432. Where either has more digits than that can carry exactly,
// the binary difference.
double decimalDifference(double a, double b);
// The day of a time kept in UTC, as the workstation's calendar has it.
QString dateOf(const QDateTime& utc);

// The measurement results of `record`: the method, the reference standard, the ambient
// temperature, each point as found and as left with the verdicts, tolerance and budget.
void measurementResults(Writer& out, const records::Record& record);

} // namespace quarvet::dcc::detail
