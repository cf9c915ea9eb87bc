#pragma once

#include "sheet.h"

#include "lab/certificates.h"
#include "records/record.h"

#include <QImage>
#include <QString>

#include <optional>

// The foot of a certificate's last page: who signed it and how, or the lines to sign on; and
// the code that holds the certificate's mark for a phone or a program to read.
namespace quarvet::certificate {

// Who performed the calibration and who authorised the certificate, each to sign above; or
// where the record was signed, each meaning's newest signature with when and how it was given.
std::vector<Sheet::Signer> signers(const records::Record& record,
                                   const lab::CertificateStatus& status);

// The mark as the code's text: one "key=value" a line after a first line naming the form.
QString markCodeText(const lab::CertificateMark& mark);
// The mark a code's text holds; none for a text of another form.
std::optional<lab::CertificateMark> markFromCodeText(const QString& text);
// The mark as a QR code, one pixel a module with a quiet zone of two; null where it cannot
// be made.
QImage markCode(const lab::CertificateMark& mark);

} // namespace quarvet::certificate
