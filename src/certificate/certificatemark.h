#pragma once

#include "pdfsigning.h"

#include "lab/certificates.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What a certificate says of itself for `records check-certificate`: written into its
// document's XMP metadata beside the page, and read back from both.
namespace quarvet::certificate {

// Whether a mark holds only what this program writes: a known kind, an id, hashes of 64 hex
// digits, a number of one printable line.
bool plausible(const lab::CertificateMark& mark);

// The mark as an XMP packet of the document.
QByteArray markMetadata(const lab::CertificateMark& mark);
// The mark an XMP packet holds; none when it holds none of this program's.
std::optional<lab::CertificateMark> markFromMetadata(const QString& metadata);
// The mark the page's lines say (its number, record id, record hash and chain head), each
// line its words joined by single blanks; none when a line is missing.
std::optional<lab::CertificateMark> markFromText(const QStringList& lines);

// What a PDF file says of itself: its metadata's mark and its text's, either missing; or why
// it could not be read.
struct CertificateMarks {
    std::optional<lab::CertificateMark> metadata;
    std::optional<lab::CertificateMark> text;
    QString fault;
    PdfSignature signature = {}; // the file's PDF signature, checked
};
CertificateMarks readCertificateMarks(const QString& path);

} // namespace quarvet::certificate
