#pragma once

#include "pdfsigning.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The laboratory's signature on an issued certificate's DCC: an enveloped XML signature in
// XAdES baseline form (the signing time and the signing certificate's digest among what is
// signed), made with the same certificate and key as the PDF's, through xmlsec's NSS engine.
namespace quarvet::certificate {

// Signs the DCC at `path` in place with `key`, of the database opened for signing, at
// `signedUtc`: the signed file replaces it only once whole. Empty, or why it was not signed
// (the file then as it was).
QString signDcc(const QString& path, const SigningKey& key, const QDateTime& signedUtc);

// What the XML signature of a DCC says, checked against the document's bytes with the
// certificate it carries.
struct DccSignature {
    bool present = false;
    int count = 0;
    bool valid = false;         // every reference's digest and the signature value hold
    bool wholeDocument = false; // one reference is the whole document but the signature
    // Its signed XAdES properties name, by SHA-256, the certificate it carries.
    bool certificateNamed = false;
    // Whether that certificate is the laboratory's: unknown where the laboratory's is not
    // given.
    std::optional<bool> laboratorys;
    QString signer; // the signing certificate's subject
    QString fault;  // why it could not be checked at all
};
// The signature of the DCC `bytes`, held against `laboratorys`, the laboratory's certificate
// (DER), where given.
DccSignature checkDccSignature(const QByteArray& bytes, const QByteArray& laboratorys = {});

} // namespace quarvet::certificate
