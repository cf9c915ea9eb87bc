#include "certificateactions.h"

#include "certificate/certificate.h"
#include "certificate/pdfsigning.h"
#include "messages/messages.h"
#include "messages/storemessages.h"
#include "records/outputfile.h"
#include "records/recordform.h"
#include "records/recordformat.h"
#include "ui/filenameservice.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace quarvet::history {

CertificateActions::CertificateActions(QWidget* window, StoreSource storeSource, Selected selected,
                                       CorrectedBy correctedBy)
    : QObject(window), window_(window), storeSource_(std::move(storeSource)),
      selected_(std::move(selected)), correctedBy_(std::move(correctedBy))
{
    certifying_ = new ui::StoreCall(ui::StoreCall::readingThreads(), window);
    connect(certifying_, &ui::StoreCall::overdue, this, &CertificateActions::overdue);
}

bool CertificateActions::isBusy() const
{
    return certifying_->isBusy();
}

namespace {

// What a certificate printed now says beside its record: issued, a copy naming the head it was
// issued under; not yet, a draft naming the store's head now.
records::StoreFailure readForCertificate(records::RecordStore& store, const records::Record& record,
                                         const QString& correctedBy, QString& head,
                                         lab::CertificateStatus& status)
{
    records::StoreFailure failure = lab::certificateStatus(
        store, record, correctedBy.isEmpty() ? QStringList() : QStringList{correctedBy}, status);
    if (!failure.failed() && status.issue)
        head = status.issue->chainHead;
    else if (!failure.failed())
        failure = store.chainHead(head);
    status.copy = status.issue.has_value();
    return failure;
}

// The name a certificate's file is offered under: its number; a copy and a draft say so.
QString offeredName(const records::Record& record, const lab::CertificateStatus& status)
{
    if (status.issue && !status.issue->number.isEmpty())
        return lab::fileNameOf(status.issue->number) + QStringLiteral("-copy.pdf");
    return QStringLiteral("draft-%1.pdf").arg(records::shortId(record.id));
}

} // namespace

// Whether the record was issued is read first: it names the file offered.
void CertificateActions::writeCertificate()
{
    const std::optional<records::Record> record = selected_();
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!record || !store || certifying_->isBusy())
        return;
    const auto head = std::make_shared<QString>();
    const auto status = std::make_shared<lab::CertificateStatus>();
    const QString correctedBy = correctedBy_(record->id);
    certifying_->start(
        [store, head, status, record = *record, correctedBy] {
            return readForCertificate(*store, record, correctedBy, *head, *status);
        },
        [this, store, head, status, record = *record](const records::StoreFailure& failure) {
            const QString path = failure.failed() ? QString()
                                                  : certificatePath(QStringLiteral("Certificate"),
                                                                    offeredName(record, *status));
            if (failure.failed() || !path.isEmpty())
                writeCertificateFile(failure, record, path, store->files(), *head, *status);
        });
}

// A record issued before: its copy is offered here, not sent to the command line.
bool CertificateActions::offeredCopy(const records::StoreFailure& failure,
                                     const records::Record& record, const QString& path)
{
    if (failure.fault.kind != records::StoreFaultKind::AlreadyIssued)
        return false;
    if (ui::messages().confirm(window_, ui::messageTitle,
                               QStringLiteral("The certificate of this record was issued already, "
                                              "as number %1. Write a copy of it to %2?")
                                   .arg(failure.fault.detail.trimmed(), path),
                               QStringLiteral("Write a &copy")))
        writeTo(record, path);
    return true;
}

void CertificateActions::writeTo(const records::Record& record, const QString& path)
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || certifying_->isBusy())
        return;
    // The chain's head and the certificate's issue are read from the store, away from the
    // window; the page is written once they are known. Issued, it is printed as a copy; not
    // issued, as a draft.
    const auto head = std::make_shared<QString>();
    const auto status = std::make_shared<lab::CertificateStatus>();
    const QString correctedBy = correctedBy_(record.id);
    certifying_->start(
        [store, head, status, record, correctedBy] {
            return readForCertificate(*store, record, correctedBy, *head, *status);
        },
        [this, store, head, status, record, path](const records::StoreFailure& failure) {
            writeCertificateFile(failure, record, path, store->files(), *head, *status);
        });
}

namespace {

// What an issue needs besides the store: the laboratory's key, which signs its file, ready.
struct IssueSigning {
    certificate::SigningKey key;
    QString fault; // why the key cannot sign: then nothing is issued
};

// The certificate issued, and what its page needs: the chain's head and its status; nothing
// where the laboratory's key cannot sign it.
records::StoreFailure issueInStore(records::RecordStore& store, records::Record& record,
                                   const QString& correctedBy, lab::CertificateIssue& issue,
                                   QString& head, lab::CertificateStatus& status,
                                   IssueSigning& signing)
{
    lab::LabSettings settings;
    records::StoreFailure failure = lab::readLabSettings(store, settings);
    signing.key = certificate::signingKeyOf(settings);
    if (!failure.failed() && signing.key.set()) {
        // A database that asks for a password is the command line's: no window asks here.
        signing.fault = certificate::openSigningDatabase(signing.key.nssFolder);
        if (signing.fault.isEmpty())
            signing.fault = certificate::readyToSign(signing.key, QDateTime::currentDateTimeUtc());
        if (!signing.fault.isEmpty())
            return failure;
    }
    if (!failure.failed())
        failure = lab::issueCertificate(store, record, issue);
    head = issue.chainHead;
    if (!failure.failed())
        failure = lab::certificateStatus(
            store, record, correctedBy.isEmpty() ? QStringList() : QStringList{correctedBy},
            status);
    status.issue = issue;
    return failure;
}

} // namespace

// Who authorises the certificate, asked in a dialog of its own: both given, or neither where the
// record's signatures say it.
void CertificateActions::askToIssue()
{
    if (!selected_())
        return;
    QDialog dialog(window_);
    dialog.setObjectName(QStringLiteral("IssueCertificate"));
    dialog.setWindowTitle(QStringLiteral("Issue certificate"));
    auto* form = new QFormLayout(&dialog);
    auto* by = new QLineEdit(&dialog);
    by->setAccessibleName(QStringLiteral("Authorised by"));
    auto* role = new QLineEdit(&dialog);
    role->setAccessibleName(QStringLiteral("Role"));
    form->addRow(QStringLiteral("&Authorised by:"), by);
    form->addRow(QStringLiteral("&Role:"), role);
    auto* signedNote = new QLabel(QStringLiteral("Leave both empty where the record's approving "
                                                 "signature authorises it."),
                                  &dialog);
    signedNote->setWordWrap(true);
    form->addRow(signedNote);
    // For work outside the laboratory's scope: the certificate then says it is not covered.
    auto* unaccredited = new QCheckBox(QStringLiteral("&Without the accreditation claim"), &dialog);
    unaccredited->setObjectName(QStringLiteral("WithoutAccreditation"));
    form->addRow(unaccredited);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    // Judged in the dialog, which stays open with what was typed and the cursor in the field.
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        bool roleWrong = false;
        if (!issuerRefused(by->text().trimmed(), role->text().trimmed(), &roleWrong))
            dialog.accept();
        else
            (roleWrong ? role : by)->setFocus();
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() == QDialog::Accepted)
        issueSelected(by->text(), role->text(), !unaccredited->isChecked());
}

QString CertificateActions::certificatePath(const QString& caption, const QString& fileName)
{
    return ui::chooseFileToWrite(window_, caption, fileName, QStringLiteral("PDF (*.pdf)"));
}

bool CertificateActions::issuable(const records::Record& record, const QString& path,
                                  const QStringList& kept)
{
    const records::OutputFault output = records::certificateOutput(record, path, kept);
    if (output.failed())
        ui::messages().show(window_, ui::messageTitle, messages::certificateFault(output),
                            ui::MessageService::Icon::Stop);
    return !output.failed();
}

bool CertificateActions::issuerRefused(const QString& by, const QString& role, bool* roleWrong)
{
    QString why;
    bool inRole = false;
    if (by.isEmpty() && role.isEmpty()) {
        // The store takes who authorised it from the record's signatures, or says what lacks.
    } else if (by.isEmpty() || role.isEmpty()) {
        why = QStringLiteral("A certificate is issued by a person named at issue, or by the "
                             "record's approving signature: give who authorises it and their "
                             "role, or neither.");
        inRole = !by.isEmpty();
    } else if (const records::Refusal refusal = records::issuerRefusal(by, role); !refusal.ok()) {
        why = QString::fromStdString(messages::recordRefusal(refusal));
        inRole = refusal.field == records::RecordField::Role;
    }
    if (roleWrong)
        *roleWrong = inRole;
    if (!why.isEmpty())
        ui::messages().show(window_, ui::messageTitle, why, ui::MessageService::Icon::Stop);
    return !why.isEmpty();
}

// The number the issue will most likely take names the file offered: read first, beside the
// window. One not read costs only that name: the issue itself says what is wrong.
void CertificateActions::issueSelected(const QString& by, const QString& role, bool accredited)
{
    const std::optional<records::Record> record = selected_();
    if (!record || issuerRefused(by.trimmed(), role.trimmed()))
        return;
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || certifying_->isBusy())
        return;
    // Issued already, it is its copy that is offered.
    const auto number = std::make_shared<QString>();
    const auto issuedAs = std::make_shared<std::optional<lab::CertificateIssue>>();
    certifying_->start(
        [store, number, issuedAs, id = record->id] {
            const records::StoreFailure failure = lab::readIssue(*store, id, *issuedAs);
            return failure.failed() || *issuedAs ? failure
                                                 : lab::nextCertificateNumber(*store, *number);
        },
        [this, record = *record, by, role, accredited, number,
         issuedAs](const records::StoreFailure& read) {
            const QString offered =
                read.failed()
                    ? QStringLiteral("certificate-%1.pdf").arg(records::shortId(record.id))
                : *issuedAs ? lab::fileNameOf((*issuedAs)->number) + QStringLiteral("-copy.pdf")
                : number->isEmpty()
                    ? QStringLiteral("certificate-%1.pdf").arg(records::shortId(record.id))
                    : lab::fileNameOf(*number) + QStringLiteral(".pdf");
            const QString path = certificatePath(QStringLiteral("Issue certificate"), offered);
            issueInto(record, path, offered == QFileInfo(path).fileName(),
                      {0,
                       {},
                       record.id,
                       QDateTime::currentDateTimeUtc(),
                       by.trimmed(),
                       role.trimmed(),
                       {},
                       {},
                       accredited});
        });
}

namespace {

// The file of an issue whose name was the one offered, named by the number the issue took:
// another workstation may have taken the one foreseen.
QString namedByNumber(const QString& path, bool offered, const lab::CertificateStatus& status)
{
    if (!offered || !status.issue || status.issue->number.isEmpty())
        return path;
    const QString named = QFileInfo(path).dir().filePath(lab::fileNameOf(status.issue->number) +
                                                         QStringLiteral(".pdf"));
    // A file of that name was not the user's to replace: the name they agreed to stands.
    return named == path || !QFileInfo::exists(named) ? named : path;
}

// The file a copy is offered in when the record was issued already: named by its number
// where the name was the one offered.
QString copyPath(const QString& path, bool offered, const records::StoreFailure& failure)
{
    if (!offered || failure.fault.kind != records::StoreFaultKind::AlreadyIssued)
        return path;
    return QFileInfo(path).dir().filePath(lab::fileNameOf(failure.fault.detail.trimmed()) +
                                          QStringLiteral("-copy.pdf"));
}

} // namespace

void CertificateActions::issueInto(const records::Record& record, const QString& path,
                                   bool offeredName, const lab::CertificateIssue& issue)
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    // The number is spent once: not on a file that cannot be written.
    if (path.isEmpty() || !store || certifying_->isBusy() ||
        !issuable(record, path, store->files()))
        return;
    const auto head = std::make_shared<QString>();
    const auto status = std::make_shared<lab::CertificateStatus>();
    const QString correctedBy = correctedBy_(record.id);
    // Read again by the issue where it brought the store up to date first.
    const auto certified = std::make_shared<records::Record>(record);
    const auto signing = std::make_shared<IssueSigning>();
    certifying_->start(
        [store, head, status, certified, correctedBy, signing, issue = issue]() mutable {
            return issueInStore(*store, *certified, correctedBy, issue, *head, *status, *signing);
        },
        [this, store, head, status, certified, path, offeredName,
         signing](const records::StoreFailure& failure) {
            if (keyRefused(signing->fault) ||
                offeredCopy(failure, *certified, copyPath(path, offeredName, failure)))
                return;
            const QString named = namedByNumber(path, offeredName, *status);
            bool written =
                writeCertificateFile(failure, *certified, named, store->files(), *head, *status);
            if (written && signing->key.set())
                written = signedFile(named, signing->key, *status);
            // A number spent is shown at once, its page written or not.
            if (written || (!failure.failed() && status->issue))
                emit issued(status->issue->number);
        });
}

bool CertificateActions::keyRefused(const QString& fault)
{
    if (!fault.isEmpty())
        ui::messages().show(window_, ui::messageTitle,
                            QStringLiteral("The laboratory's key cannot sign the certificate: "
                                           "%1. No certificate was issued, and no number spent.")
                                .arg(fault),
                            ui::MessageService::Icon::Stop);
    return !fault.isEmpty();
}

bool CertificateActions::signedFile(const QString& path, const certificate::SigningKey& key,
                                    const lab::CertificateStatus& status)
{
    const QString fault =
        certificate::signPdf(path, key, certificate::signingReason(*status.issue, status));
    if (!fault.isEmpty())
        ui::messages().show(window_, ui::messageTitle,
                            QStringLiteral("Certificate %1 was issued and written to %2, but not "
                                           "signed: %3.")
                                .arg(status.issue->number, path, fault),
                            ui::MessageService::Icon::Stop);
    return fault.isEmpty();
}

bool CertificateActions::writeCertificateFile(const records::StoreFailure& read,
                                              const records::Record& record, const QString& path,
                                              const QStringList& kept, const QString& chainHead,
                                              const lab::CertificateStatus& status)
{
    // What the store could not give, or the page that could not be written, is said; a
    // page is said written only once it is.
    QString fault = read.failed() ? messages::storeFault(read.fault) : QString();
    if (fault.isEmpty())
        fault = certificate::writeCertificate(record, path, kept, chainHead, status);
    // A number spent is spent for good: said even where its page could not be written, so
    // that nobody issues the record again in vain.
    if (!fault.isEmpty() && status.issue && !status.issue->number.isEmpty() && !status.copy)
        fault += QStringLiteral(" Certificate %1 was issued; print it with Certificate....")
                     .arg(status.issue->number);
    if (!fault.isEmpty()) {
        ui::messages().show(window_, ui::messageTitle, fault, ui::MessageService::Icon::Stop);
        return false;
    }
    emit written(QStringLiteral("Certificate of record %1 written to %2.")
                     .arg(records::shortId(record.id), path));
    return true;
}

} // namespace quarvet::history
