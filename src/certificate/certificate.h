#pragma once

#include "lab/certificates.h"
#include "records/outputfile.h"
#include "records/record.h"

#include <QString>

namespace quarvet::certificate {

// Writes the calibration certificate of `record` to `path`: one A4 page of PDF, all of it
// searchable text but the plot. The file appears whole or not at all; an existing file is
// replaced only by a finished certificate. Returns what went wrong, if anything.
//
// Fonts need the graphical side of Qt: a QGuiApplication (or QApplication) must exist. Without
// one nothing is written and the answer says so.
// `kept` are files no certificate may replace: the record store's. `chainHead` is the hash of
// the last record the store held as the certificate is written.
// `status` says whether it is issued, a copy or a draft.
records::OutputFault writeCertificateFile(const records::Record& record, const QString& path,
                                          const QStringList& kept = {},
                                          const QString& chainHead = {},
                                          const lab::CertificateStatus& status = {});

// Whether a logo as the laboratory's settings keep it ("png:" or "svg:" and base64) draws as
// an image: checked when it is set, so that no certificate goes without it.
bool logoDraws(const QString& logo);

// The same, said: empty on success, else one sentence naming the file and what went wrong.
QString writeCertificate(const records::Record& record, const QString& path,
                         const QStringList& kept = {}, const QString& chainHead = {},
                         const lab::CertificateStatus& status = {});

} // namespace quarvet::certificate
