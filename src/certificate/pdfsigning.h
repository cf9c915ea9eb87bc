#pragma once

#include "lab/certificates.h"
#include "lab/labsettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// The laboratory's signature on an issued certificate's file: a PDF signature made with a
// certificate and key kept in an NSS database, through Poppler, which any PDF reader checks;
// and the signature a certificate's file carries, checked.
namespace quarvet::certificate {

// Where the laboratory's signing certificate is: an NSS database's folder and the
// certificate's nickname there.
struct SigningKey {
    QString nssFolder;
    QString nickname;

    bool set() const { return !nickname.isEmpty(); }
};

// The NSS database of the program's own: beside the user's record file.
QString ownSigningFolder();
// The key the laboratory's settings name ("signing-nss", the program's own database where
// empty, and "signing-nick"); not set where they name none.
SigningKey signingKeyOf(const lab::LabSettings& settings);

struct SigningCertificate {
    QString nickname;
    QString subject; // its distinguished name
    QDateTime validFrom;
    QDateTime validUntil;
    QByteArray der = {}; // the certificate itself
};

// Opens the NSS database at `folder` for this process's signing and checking (once: the
// library takes one database a process); `askPassword` answers the database's question for
// its password, or gives an empty text. Empty, or why the database cannot be used.
QString openSigningDatabase(const QString& folder,
                            const std::function<QString(const QString&)>& askPassword = {});

// The certificate of `key` with a private key beside it in the database opened; none, and
// `fault` saying why, where the database holds none of that nickname.
std::optional<SigningCertificate> signingCertificate(const SigningKey& key, QString& fault);
// The certificates with private keys the database opened holds.
QList<SigningCertificate> signingCertificates();

// Whether `key` can sign now: its certificate there and valid at `now`, and a signature made
// with it on a page of nothing. Empty, or why not.
QString readyToSign(const SigningKey& key, const QDateTime& now);

// Signs the PDF at `path` in place with `key`, SHA-256, the reason given: the signed file
// replaces it only once whole. Empty, or why it was not signed (the file then as it was).
QString signPdf(const QString& path, const SigningKey& key, const QString& reason);

// What the file's signature says it is for: the certificate issued, and who authorised it,
// signed or named as typed.
QString signingReason(const lab::CertificateIssue& issue, const lab::CertificateStatus& status);

// What the PDF signature of a certificate's file says, checked against the file's bytes.
struct PdfSignature {
    bool present = false;
    int count = 0; // signatures in the file: an issued one carries one
    // Whether the signing certificate is the laboratory's own: unknown where the laboratory's
    // key is not at hand to compare.
    std::optional<bool> laboratorys;
    bool valid = false;         // the signature is the file's, its digest matches
    bool wholeDocument = false; // it covers the whole file but itself
    bool trusted = false;       // its certificate chains to one the database trusts
    QString signer;             // the signing certificate's subject
    QString reason;
    QDateTime signedUtc;
};
// The last signature of the PDF at `path`, held against the certificate of `key` where it is
// set and at hand; `fault` says why the file could not be read.
PdfSignature readPdfSignature(const QString& path, const SigningKey& key, QString& fault);

} // namespace quarvet::certificate
