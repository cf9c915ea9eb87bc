#pragma once

#include "recordcommands.h"

#include "dcc/dccwriter.h"
#include "lab/certificates.h"

#include <QString>

#include <optional>
#include <string>

// The Digital Calibration Certificate beside the PDF: written at issue, and as a copy or a
// draft with records dcc.
namespace quarvet::cli {

// Where an issue's DCC goes: `--dcc FILE` where given, else the PDF's name with .xml for .pdf
// (or .xml added).
QString dccPathFor(const std::string& pdf, const std::optional<std::string>& dcc);

// Why a DCC was not written, in a sentence.
QString dccRefusal(const dcc::DccFault& fault);
// Whether the DCC's place is refused, said: no name, or the certificate's own file.
bool dccPlaceRefused(const QString& pdf, const QString& dcc, Output& io);

// The DCC of `record`'s certificate written to `path`, whole or not at all; false, said on
// standard error, where the laboratory lacks what it needs or the file cannot be written.
bool writeDcc(const records::Record& record, const lab::CertificateStatus& status,
              const QString& path, RecordsContext& context, Output& io);

// The laboratory's country as set now where `status` holds the settings of an issue made
// before it was set: the country a laboratory is in does not change with its settings.
bool takeCountryNow(lab::CertificateStatus& status, RecordsContext& context, Output& io);

// records dcc ID -o FILE.xml: a copy's DCC, or a draft's.
CommandTable dccCommands();

} // namespace quarvet::cli
