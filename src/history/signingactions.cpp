#include "signingactions.h"

#include "lab/signers.h"
#include "messages/storemessages.h"
#include "records/recordformat.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quarvet::history {

namespace {

// Who would sign through the store now, and whether they may: listed, and not shut out.
struct SignerStanding {
    QString login;
    bool byServer = false;
    std::optional<lab::Signer> signer;
    QDateTime lockedUntil;
};

records::StoreFailure readStanding(records::RecordStore& store, SignerStanding& standing)
{
    records::StoreFailure failure = store.signingLogin(standing.login, standing.byServer);
    QList<lab::Signer> signers;
    if (!failure.failed())
        failure = lab::listSigners(store, signers);
    for (const lab::Signer& signer : signers)
        if (signer.login == standing.login && signer.listed)
            standing.signer = signer;
    if (!failure.failed() && standing.signer)
        failure = lab::signingLockedUntil(store, standing.login, standing.lockedUntil);
    return failure;
}

// What came of a signature asked for: the password's answer, then the store's.
struct SigningOutcome {
    records::PasswordAnswer answer;
    lab::Signature signature;
};

records::StoreFailure signInStore(records::RecordStore& store, const QString& password,
                                  bool byServer, SigningOutcome& outcome)
{
    outcome.answer = store.checkPassword(outcome.signature.login, password);
    if (outcome.answer.check == records::PasswordCheck::Wrong)
        return lab::noteFailedSigning(store, outcome.signature.login);
    if (outcome.answer.check != records::PasswordCheck::Confirmed)
        return {};
    outcome.signature.authenticatedBy =
        byServer ? QStringLiteral("server") : QStringLiteral("system");
    return lab::addSignature(store, outcome.signature);
}

QString answerWords(const records::PasswordAnswer& answer, const QString& login)
{
    switch (answer.check) {
    case records::PasswordCheck::Wrong:
        return QStringLiteral("That is not the password of %1: nothing was signed.").arg(login);
    case records::PasswordCheck::NotAsked:
        return QStringLiteral("The database server let %1 in without asking for a password, so "
                              "it cannot confirm who signs: nothing was signed.")
            .arg(login);
    default:
        return QStringLiteral("The password of %1 could not be checked (%2): nothing was signed.")
            .arg(login, answer.detail);
    }
}

} // namespace

SigningActions::SigningActions(QWidget* window, StoreSource storeSource, Selected selected)
    : QObject(window), window_(window), storeSource_(std::move(storeSource)),
      selected_(std::move(selected))
{
    calls_ = new ui::StoreCall(ui::StoreCall::savingThreads(), window);
}

bool SigningActions::isBusy() const
{
    return calls_->isBusy();
}

void SigningActions::askToSign()
{
    const std::optional<records::Record> record = selected_();
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!record || !store || calls_->isBusy())
        return;
    const auto standing = std::make_shared<SignerStanding>();
    calls_->start(
        [store, standing] { return readStanding(*store, *standing); },
        [this, standing, record = *record](const records::StoreFailure& failure) {
            QString why;
            if (failure.failed())
                why = messages::storeFault(failure.fault);
            else if (!standing->signer)
                why = messages::storeFault(
                    records::storeFault(records::StoreFaultKind::NotASigner, standing->login));
            else if (standing->lockedUntil.isValid())
                why = messages::storeFault(records::storeFault(
                    records::StoreFaultKind::SigningLocked,
                    standing->lockedUntil.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
            if (!why.isEmpty())
                ui::messages().show(window_, ui::messageTitle, why, ui::MessageService::Icon::Stop);
            else
                askSigner(record, *standing->signer);
        });
}

void SigningActions::askSigner(const records::Record& record, const lab::Signer& signer)
{
    QDialog dialog(window_);
    dialog.setObjectName(QStringLiteral("SignRecord"));
    dialog.setWindowTitle(QStringLiteral("Sign record"));
    auto* form = new QFormLayout(&dialog);
    auto* who = new QLabel(records::printableText(signer.name + QStringLiteral(", ") + signer.role),
                           &dialog);
    who->setTextFormat(Qt::PlainText);
    who->setObjectName(QStringLiteral("Signer"));
    form->addRow(QStringLiteral("Signer:"), who);
    form->addRow(QStringLiteral("Record:"), new QLabel(record.id, &dialog));
    auto* meaning = new QComboBox(&dialog);
    meaning->setObjectName(QStringLiteral("Meaning"));
    for (const lab::Meaning each :
         {lab::Meaning::Performed, lab::Meaning::Reviewed, lab::Meaning::Approved})
        meaning->addItem(lab::meaningWord(each), static_cast<int>(each));
    meaning->setCurrentIndex(1);
    form->addRow(QStringLiteral("&Meaning:"), meaning);
    auto* password = new QLineEdit(&dialog);
    password->setObjectName(QStringLiteral("Password"));
    password->setEchoMode(QLineEdit::Password);
    password->setAccessibleName(QStringLiteral("Password of %1").arg(signer.login));
    form->addRow(QStringLiteral("&Password:"), password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Sign"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    password->setFocus();
    if (dialog.exec() == QDialog::Accepted && !password->text().isEmpty())
        sign(record.id, static_cast<lab::Meaning>(meaning->currentData().toInt()), signer.login,
             password->text());
    password->clear();
}

void SigningActions::sign(const QString& recordId, lab::Meaning meaning, const QString& login,
                          const QString& password)
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || calls_->isBusy())
        return;
    const auto outcome = std::make_shared<SigningOutcome>();
    outcome->signature.recordId = recordId;
    outcome->signature.login = login;
    outcome->signature.meaning = lab::meaningWord(meaning);
    calls_->start(
        [store, outcome, password] {
            bool byServer = false;
            QString who;
            records::StoreFailure failure = store->signingLogin(who, byServer);
            // Signed as the login the store authenticates now, never another.
            if (!failure.failed() && who != outcome->signature.login)
                failure = records::StoreFailure(
                    records::storeFault(records::StoreFaultKind::NotASigner, who));
            return failure.failed() ? failure : signInStore(*store, password, byServer, *outcome);
        },
        [this, outcome](const records::StoreFailure& failure) {
            const lab::Signature& signature = outcome->signature;
            QString why = failure.failed() ? messages::storeFault(failure.fault) : QString();
            if (why.isEmpty() && outcome->answer.check != records::PasswordCheck::Confirmed)
                why = answerWords(outcome->answer, signature.login);
            if (!why.isEmpty()) {
                ui::messages().show(window_, ui::messageTitle, why, ui::MessageService::Icon::Stop);
                return;
            }
            emit signedRecord(QStringLiteral("Record %1 signed as %2 by %3, %4 (signature %5).")
                                  .arg(records::shortId(signature.recordId), signature.meaning,
                                       signature.name, signature.role)
                                  .arg(signature.sequence));
        });
}

} // namespace quarvet::history
