#pragma once

#include "lab/certificates.h"
#include "records/outputfile.h"
#include "records/recordstore.h"
#include "records/storefault.h"

#include <QString>

// Every sentence the program says about a record store that could not do what was asked.
namespace quarvet::messages {

QString storeFault(const records::StoreFault& fault);

// "The certificate could not be written to “FILE”: why."; empty for no fault.
QString certificateFault(const records::OutputFault& fault);
// "The records could not be written to FILE: why."; empty for no fault.
QString exportFault(const records::OutputFault& fault);
// "The DCC could not be written to FILE: why."; empty for no fault.
QString dccFault(const records::OutputFault& fault);
// "The instrument's history could not be written to FILE: why."; empty for no fault.
QString historyFault(const records::OutputFault& fault);

// What a search by the beginning of an id found, when it is not one record: none (`count`
// 0) or more than one (the search stops at the second).
QString idPrefixFault(qsizetype count, const QString& prefix);

// What a walk of the hash chain found: "N records, chain intact, head HHHHHHHHHHHHHHHH", or
// where it is first broken and how, or that the store keeps no chain yet.
QString chainReport(const records::ChainReport& report, const QString& location);

// What the store's answer to a certificate's mark means; empty when it holds.
QString certificateContradiction(const lab::CertificateMark& mark,
                                 const lab::CertificateFinding& finding);

// The first sixteen hexadecimal digits of a hash, as certificates and reports print it.
QString shortHash(const QString& hash);

} // namespace quarvet::messages
