#pragma once

#include "lab/signatures.h"
#include "lab/signers.h"
#include "records/record.h"
#include "records/recordstore.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace quarvet::ui {
class StoreCall;
}

namespace quarvet::history {

// Sign… in the history: the selected record signed by the person the store authenticates,
// who is asked for their password again in a dialog of its own, and the meaning of their
// signature. Who signs and whether they may is read beside the window, and so is the
// password checked (a wrong one may take the system seconds).
class SigningActions : public QObject {
    Q_OBJECT
public:
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;
    using Selected = std::function<std::optional<records::Record>()>;

    SigningActions(QWidget* window, StoreSource storeSource, Selected selected);

    bool isBusy() const;
    ui::StoreCall* calls() const { return calls_; }
    void askToSign();
    // Signs `recordId` as `meaning` by `login`, whose password is `password`.
    void sign(const QString& recordId, lab::Meaning meaning, const QString& login,
              const QString& password);

signals:
    void signedRecord(const QString& said);

private:
    // The dialog that asks for the meaning and the password of `signer`.
    void askSigner(const records::Record& record, const lab::Signer& signer);

    QWidget* window_;
    StoreSource storeSource_;
    Selected selected_;
    ui::StoreCall* calls_ = nullptr;
};

} // namespace quarvet::history
