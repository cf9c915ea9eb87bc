#pragma once

#include "run.h"

#include "certificate/pdfsigning.h"
#include "lab/labsettings.h"

#include <QMap>
#include <QString>

// The laboratory's key for signing certificates' files, from the command line: imported into
// an NSS database of the program's own or named in an existing one, shown, and made ready
// before an issue spends a number.
namespace quarvet::cli {

using certificate::signingKeyOf;

// `lab set --signing-key FILE.p12` (or "none"): the certificate and key imported into the
// program's own database, the PKCS#12 password asked on the terminal; the settings to keep
// in `values`, the certificate `described`. False, said, when it cannot be.
bool importSigningKey(const QString& file, QMap<QString, QString>& values, QString& described,
                      Output& io);
// `lab set --signing-nss DIR --signing-nick NICK`: an existing database, which must hold the
// certificate with its key.
bool chooseSigningKey(const QString& folder, const QString& nickname,
                      QMap<QString, QString>& values, QString& described, Output& io);
// The signing certificate's subject and validity, as lab show says them.
void showSigningKey(const lab::LabSettings& settings, Output& io);

// Opens the key's database (a password it asks for asked on the terminal) and signs a trial
// page with it: empty, or why the laboratory's key cannot sign now.
QString readySigning(const certificate::SigningKey& key);

} // namespace quarvet::cli
