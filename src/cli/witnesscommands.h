#pragma once

#include "cli/command.h"
#include "lab/certificates.h"

#include <vector>

// What shows the records as they were: records verify walks the chain and every issue and
// kept row beside it, records witness writes the chain's head to a file kept outside the
// store, which verify holds the chain against later.
namespace quarvet::cli {

// The store contradicts its chain, a seal, an issue, a witness or a certificate.
inline constexpr int storeContradicted = 4;

// What contradicts the certificate `named`, said on standard output: exit 4.
int sayNotIntact(const QString& named, const QString& why, Output& io);

// Holds a certificate's mark against the store: the chain whole, the record unchanged, the
// head in the chain, an issue's number issued so. `markHeld` where it holds, with `finding`;
// else the exit status, said.
inline constexpr int markHeld = -1;
int holdMark(const lab::CertificateMark& mark, const QString& named, RecordsContext& context,
             lab::CertificateFinding& finding, Output& io);

// records verify and records witness.
std::vector<Command> chainCommands();

} // namespace quarvet::cli
