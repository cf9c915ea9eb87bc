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

// What stood in the way of a change of the register of instruments.
QString instrumentFailureOf(const records::StoreFault& fault)
{
    const QString detail = fault.detail.trimmed();
    switch (fault.kind) {
    case StoreFaultKind::InstrumentExists:
        return QStringLiteral("The register holds instrument %1 of type %2 already: nothing was "
                              "added (quarvet-cli instruments change changes it).")
            .arg(detail.section(QLatin1Char(' '), 1), detail.section(QLatin1Char(' '), 0, 0));
    case StoreFaultKind::NoSuchInstrument: {
        // The type is left out where none was named: "TYPE SERIAL" or " SERIAL".
        const QString type = fault.detail.section(QLatin1Char(' '), 0, 0);
        const QString serial = fault.detail.section(QLatin1Char(' '), 1);
        return type.isEmpty() ? QStringLiteral("The register holds no instrument %1.").arg(serial)
                              : QStringLiteral("The register holds no instrument %1 of type %2.")
                                    .arg(serial, type);
    }
    case StoreFaultKind::InstrumentChanged:
        return QStringLiteral("Instrument %1 of type %2 was changed meanwhile by another entry: "
                              "nothing was changed. Look at it again and repeat the change.")
            .arg(detail.section(QLatin1Char(' '), 1), detail.section(QLatin1Char(' '), 0, 0));
    default:
        return {};
    }
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
    default: {
        const QString instrument = instrumentFailureOf(fault);
        return instrument.isEmpty() ? issueWithoutSignatures(fault) : instrument;
    }
    }
}

} // namespace quarvet::messages
