#pragma once

#include "lab/labrefusal.h"
#include "records/recordform.h"
#include "records/recordstore.h"

#include "calc/recall.h"
#include "calc/scope.h"

#include <QMap>
#include <QString>
#include <QStringList>

// The laboratory's settings, kept in the store beside the records: a new value for every
// change, never an old one changed.
namespace quarvet::lab {

// The laboratory's settings, each the newest value set; `names` are those the program knows.
struct LabSettings {
    QMap<QString, QString> values;

    QString value(const QString& name) const { return values.value(name); }
    // The scope of accreditation ("cmc"): its ranges, none when not set, or why it does not
    // read as this program keeps it.
    calc::ScopeReading scope() const;
    // The pooled standard deviation of single readings ("pooled-repeatability"), if set;
    // `readable` false where the kept text is not as this program writes it.
    std::optional<calc::PooledRepeatability> pooledRepeatability(bool& readable) const;
    // Whether records take their reference from the register only: as set, and where not
    // set, for a laboratory that states an accreditation (a typed reference states no
    // traceability).
    bool registeredReferencesOnly() const;
    // The factors an instrument's interval steps by ("interval-factors"): as set, the defaults
    // where not; `readable` false where the kept text is not as this program writes it.
    calc::IntervalFactors intervalFactors(bool& readable) const;
    static const QStringList& names();
};
// The settings as they are now, or where `upTo` is above 0, as they stood after that entry.
records::StoreFailure readLabSettings(records::RecordStore& store, LabSettings& settings,
                                      qint64 upTo = 0);
// Sets each of `values` (a name of LabSettings::names() to its new value; empty clears it).
records::StoreFailure setLabSettings(records::RecordStore& store,
                                     const QMap<QString, QString>& values);
// The logo of a file as the settings keep it ("png:" or "svg:" and base64); empty, and
// `fault` saying why, for a file that cannot be read, is larger than 512 KiB, or is no PNG or
// SVG image.
QString logoFromFile(const QString& path, QString& fault);
// What is wrong with a value of a laboratory setting; none when nothing is:
// one line (no control character or mark that turns text around), at most 1000 characters
// for the address and the statements, 200 for the others; a pattern that makes numbers.
LabRefusal labSettingProblem(const QString& name, const QString& value);
// Gives `input` what the laboratory's settings add to its evaluation: the scope, against
// which each result's U is held, and the pooled repeatability for a point read once; refused
// when either, as kept, does not read.
LabRefusal takeLabTerms(const LabSettings& lab, records::RecordInput& input);

} // namespace quarvet::lab
