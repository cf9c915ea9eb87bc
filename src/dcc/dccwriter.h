#pragma once

#include "lab/certificates.h"
#include "records/record.h"

#include <QByteArray>
#include <QString>

// The Digital Calibration Certificate of a record's certificate: the same certificate as XML
// under the published DCC schema (3.1.2) with its quantities in D-SI (2.1.0), for a customer's
// software to take in without retyping.
namespace quarvet::dcc {

// Why a record's DCC cannot be written: the laboratory's setting it needs (`setting`, as
// `lab set` names it) is not set; or what the record holds cannot be written as the schema
// takes it (`unwritable`: a number that is not finite, a character XML cannot carry), which
// would otherwise be left out or changed without a word.
struct DccFault {
    QString setting;
    QString unwritable;

    bool failed() const { return !setting.isEmpty() || !unwritable.isEmpty(); }
};

// The DCC of `record`'s certificate as `status` has it (issued, a copy or a draft), in UTF-8;
// empty, with `fault` saying why, where the laboratory lacks what it needs. Numbers are written
// as kept, in their shortest form that reads back as the same double.
// The document names its record, the record's hash and `chainHead` (the head its issue names;
// for a draft, the chain's head when written), which the store answers for.
QByteArray dccOf(const records::Record& record, const lab::CertificateStatus& status,
                 const QString& chainHead, DccFault& fault);

// Whether `zone` names a zone of the zone database here, which a DCC's dates may be days in
// and which the C library and Qt read alike: no path, no rule, no file of another folder.
bool usableTimeZone(const QString& zone);

// Whether `country` is a country as the DCC takes it: two capital letters A–Z.
bool validCountry(const QString& country);

} // namespace quarvet::dcc
