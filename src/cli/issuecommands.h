#pragma once

#include "recordcommands.h"

#include "lab/certificates.h"

#include <optional>
#include <string>
#include <vector>

// records certificate and records issue: a record's certificate printed, and issued once with
// the next number of the laboratory's pattern.
namespace quarvet::cli {

// The one record whose id begins with `prefix`, with the records that correct it; nothing,
// said, when none or several do.
std::optional<records::ListedRecord> recordByPrefix(const QString& prefix, RecordsContext& context,
                                                    Output& io);

// The chain head a certificate of `status` names: the one its issue was made under, or for a
// draft the store's head now; false, said, when it cannot be read.
bool certificateHead(const lab::CertificateStatus& status, RecordsContext& context, QString& head,
                     Output& io);

int certificateCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                       RecordsContext& context, Output& io);
int issueCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                 RecordsContext& context, Output& io);

} // namespace quarvet::cli
