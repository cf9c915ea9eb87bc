#pragma once

#include "certificate/pdfsigning.h"
#include "lab/certificates.h"
#include "records/record.h"
#include "records/recordstore.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace quarvet::ui {
class StoreCall;
}

namespace quarvet::history {

// The history's certificates of the selected record: a copy or draft written on demand, and
// its issue (who authorises it asked in a dialog of its own, the next number from the store,
// once, spent only on a file that can be written). The store is read beside the window.
class CertificateActions : public QObject {
    Q_OBJECT
public:
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;
    // The selected record (said and none when there is none), and the record that corrects
    // one, as the listing knows it.
    using Selected = std::function<std::optional<records::Record>()>;
    using CorrectedBy = std::function<QString(const QString& id)>;

    CertificateActions(QWidget* window, StoreSource storeSource, Selected selected,
                       CorrectedBy correctedBy);

    bool isBusy() const;
    // The calls that write certificates, issue and note them, for what follows them.
    ui::StoreCall* calls() const { return certifying_; }
    void writeCertificate();
    void askToIssue();
    // Issues the selected record's certificate, authorised by `by` in `role`, into the file
    // the user chooses.
    void issueSelected(const QString& by, const QString& role, bool accredited = true);

signals:
    void written(const QString& said);
    void issued(const QString& number);
    void overdue();

private:
    // Whether the certificate of `record` can be issued to `path`; said when not.
    bool issuable(const records::Record& record, const QString& path, const QStringList& kept);
    // Whether who authorises an issue cannot be printed as given; said when so, and whether the
    // role rather than the name is wrong.
    bool issuerRefused(const QString& by, const QString& role, bool* roleWrong = nullptr);
    // The file the user chooses for a certificate, `fileName` offered.
    QString certificatePath(const QString& caption, const QString& fileName);
    // Issues `record`'s certificate into `path`, whose name is the one offered when
    // `offeredName`: that name then follows the number the issue takes.
    void issueInto(const records::Record& record, const QString& path, bool offeredName,
                   const lab::CertificateIssue& issue);
    // Writes the certificate of `record` to `path`: a copy when it was issued, else a draft.
    void writeTo(const records::Record& record, const QString& path);
    // For an issue refused as issued already: the copy offered, and written where the user
    // wants it; false for any other outcome.
    bool offeredCopy(const records::StoreFailure& failure, const records::Record& record,
                     const QString& path);
    // Whether the laboratory's key could not sign (`fault`), said when so: nothing was issued.
    bool keyRefused(const QString& fault);
    // Signs an issued certificate's file with the laboratory's key; false, said, when not.
    bool signedFile(const QString& path, const certificate::SigningKey& key,
                    const lab::CertificateStatus& status);
    // Writes the certificate once the store was read; false, said, when either failed.
    bool writeCertificateFile(const records::StoreFailure& read, const records::Record& record,
                              const QString& path, const QStringList& kept,
                              const QString& chainHead, const lab::CertificateStatus& status);

    QWidget* window_;
    StoreSource storeSource_;
    Selected selected_;
    CorrectedBy correctedBy_;
    ui::StoreCall* certifying_ = nullptr;
};

} // namespace quarvet::history
