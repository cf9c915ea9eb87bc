#include "signingmessages.h"

#include <QStringList>

namespace quarvet::messages {

namespace {

using records::StoreFaultKind;

// What stood in the way of an issue for want of signatures.
QString issueWithoutSignatures(const records::StoreFault& fault)
{
    if (fault.kind == StoreFaultKind::SignaturesMissing && fault.detail == QLatin1String("--by"))
        return QStringLiteral("Nobody authorises the certificate: name who does with --by and "
                              "--role, or have the record signed as approved (quarvet-cli records "
                              "sign). No certificate was issued, and no number spent.");
    if (fault.kind == StoreFaultKind::SignaturesMissing)
        return QStringLiteral("The laboratory issues a certificate only for a record signed as "
                              "%1 (quarvet-cli records sign): no certificate was issued, and no "
                              "number spent.")
            .arg(fault.detail.trimmed().split(QLatin1Char(',')).join(QStringLiteral(" and ")));
    if (fault.kind == StoreFaultKind::SignedIssue)
        return QStringLiteral("The laboratory takes who authorised a certificate from its "
                              "record's signatures: --by and --role are not taken. Nothing was "
                              "issued.");
    return {};
}

} // namespace

QString signingFailureOf(const records::StoreFault& fault)
{
    const QString detail = fault.detail.trimmed();
    switch (fault.kind) {
    case StoreFaultKind::NotASigner:
        return QStringLiteral("%1 is not a signer of the laboratory (quarvet-cli lab signer "
                              "list): nothing was signed.")
            .arg(detail);
    case StoreFaultKind::SamePerson:
        return QStringLiteral("%1 performed or saved this record and may not approve it too "
                              "(the laboratory may allow it: quarvet-cli lab set "
                              "--same-person-may-approve yes): nothing was signed.")
            .arg(detail);
    case StoreFaultKind::SignedAlready:
        return QStringLiteral("You signed this record as %1 already: nothing was signed.")
            .arg(detail);
    case StoreFaultKind::SignCorrected:
        return QStringLiteral("The record has been corrected by record %1: sign the correction "
                              "instead. Nothing was signed.")
            .arg(detail);
    case StoreFaultKind::SignIssued:
        return QStringLiteral("The certificate of this record was issued already, as number %1: "
                              "a signature now would not be on it. Nothing was signed.")
            .arg(detail);
    case StoreFaultKind::SigningLocked:
        return QStringLiteral("Three wrong passwords in a row: signing as this login is refused "
                              "until %1 UTC. Nothing was signed.")
            .arg(detail);
    default:
        return issueWithoutSignatures(fault);
    }
}

} // namespace quarvet::messages
