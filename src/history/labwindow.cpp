#include "labwindow.h"

#include "certificate/certificate.h"
#include "messages/labmessages.h"
#include "messages/storemessages.h"
#include "ui/controls.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"
#include "ui/upgradebar.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quarvet::history {

LabWindow::LabWindow(StoreSource storeSource, QWidget* parent)
    : QWidget(parent, Qt::Window), storeSource_(std::move(storeSource))
{
    setObjectName(QStringLiteral("Laboratory"));
    setWindowTitle(QStringLiteral("Laboratory"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const std::tuple<const char*, const char*, const char*> settings[] = {
        {"name", "&Name:", "Laboratory name"},
        {"address", "&Address:", "Laboratory address"},
        {"accreditation-body", "Accreditation &body:", "Accreditation body"},
        {"accreditation", "Accreditation n&umber:", "Accreditation number"},
        {"prefix", "&Prefix:", "Number prefix"},
        {"pattern", "Number pa&ttern:", "Number pattern"},
        {"statements", "&Statements:", "Statements"}};
    for (const auto& [setting, label, name] : settings) {
        QLineEdit* field = addField(QString::fromUtf8(name));
        fields_.insert(QString::fromLatin1(setting), field);
        form->addRow(QString::fromUtf8(label), field);
    }
    fields_.value(QStringLiteral("pattern"))
        ->setPlaceholderText(QString::fromLatin1(lab::defaultNumberPattern));
    registeredOnly_ =
        new QCheckBox(QStringLiteral("Reference standards from the &register only"), this);
    form->addRow(QString(), registeredOnly_);
    logoStatus_ = new QLabel(this);
    logoStatus_->setAccessibleName(QStringLiteral("Logo status"));
    form->addRow(QStringLiteral("Logo:"), logoStatus_);
    form->addRow(QString(), logoButton());
    layout->addLayout(form);
    auto* saveButton = new QPushButton(QStringLiteral("Sa&ve"), this);
    saveButton->setObjectName(QStringLiteral("SaveLaboratory"));
    connect(saveButton, &QPushButton::clicked, this, &LabWindow::save);
    layout->addWidget(saveButton);
    calling_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    status_ = addStatus(layout);
    ui::closeOnEscape(this);
    reload();
}

QLabel* LabWindow::addStatus(QVBoxLayout* layout)
{
    auto* status = new QLabel(this);
    status->setAccessibleName(QStringLiteral("Laboratory status"));
    status->setWordWrap(true);
    layout->addWidget(status);
    // Saving into a store of an earlier schema brings it up to date first.
    auto* upgradeBar = new ui::UpgradeBar(this);
    layout->addWidget(upgradeBar);
    upgradeBar->follow(calling_);
    return status;
}

QPushButton* LabWindow::logoButton()
{
    auto* choose = new QPushButton(QStringLiteral("Choose &logo..."), this);
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Logo"), QString(),
                                                          QStringLiteral("Images (*.png *.svg)"));
        if (!path.isEmpty())
            takeLogo(path);
    });
    return choose;
}

QLineEdit* LabWindow::addField(const QString& accessibleName, const QString& placeholder)
{
    auto* field = new QLineEdit(this);
    field->setAccessibleName(accessibleName);
    field->setPlaceholderText(placeholder);
    return field;
}

bool LabWindow::isBusy() const
{
    return calling_->isBusy();
}

void LabWindow::reload()
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store)
        return;
    const auto settings = std::make_shared<lab::LabSettings>();
    calling_->start([store, settings] { return lab::readLabSettings(*store, *settings); },
                    [this, settings](const records::StoreFailure& failure) {
                        if (failure.failed())
                            ui::showValue(status_, messages::storeFault(failure.fault));
                        else
                            show(*settings);
                    });
}

void LabWindow::show(const lab::LabSettings& settings)
{
    read_ = settings;
    for (auto at = fields_.cbegin(); at != fields_.cend(); ++at)
        at.value()->setText(settings.value(at.key()));
    registeredOnly_->setChecked(settings.registeredReferencesOnly());
    logo_ = settings.value(QStringLiteral("logo"));
    ui::showValue(logoStatus_, logo_.isEmpty() ? QStringLiteral("none") : logo_.left(3));
}

bool LabWindow::takeLogo(const QString& path)
{
    QString fault;
    QString logo = lab::logoFromFile(path, fault);
    if (!logo.isEmpty() && !certificate::logoDraws(logo)) {
        fault = QStringLiteral("the logo %1 does not read as an image").arg(path);
        logo.clear();
    }
    if (logo.isEmpty()) {
        ui::messages().show(this, ui::messageTitle, fault, ui::MessageService::Icon::Stop);
        return false;
    }
    logo_ = logo;
    ui::showValue(logoStatus_, logo_.left(3));
    return true;
}

// The settings that differ from what was read: each change a new entry in the store.
QMap<QString, QString> LabWindow::values() const
{
    QMap<QString, QString> changed;
    for (auto at = fields_.cbegin(); at != fields_.cend(); ++at)
        if (at.value()->text().trimmed() != read_.value(at.key()))
            changed.insert(at.key(), at.value()->text().trimmed());
    const QString only =
        registeredOnly_->isChecked() ? QStringLiteral("yes") : QStringLiteral("no");
    if (registeredOnly_->isChecked() != read_.registeredReferencesOnly())
        changed.insert(QStringLiteral("registered-references-only"), only);
    if (logo_ != read_.value(QStringLiteral("logo")))
        changed.insert(QStringLiteral("logo"), logo_);
    return changed;
}

void LabWindow::save()
{
    const QMap<QString, QString> changed = values();
    for (auto at = changed.cbegin(); at != changed.cend(); ++at)
        if (const QString problem =
                messages::labRefusal(lab::labSettingProblem(at.key(), at.value()));
            !problem.isEmpty()) {
            ui::messages().show(this, ui::messageTitle, problem, ui::MessageService::Icon::Stop);
            return;
        }
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (changed.isEmpty() || !store || calling_->isBusy())
        return;
    calling_->start([store, changed] { return lab::setLabSettings(*store, changed); },
                    [this, changed](const records::StoreFailure& failure) {
                        if (failure.failed()) {
                            ui::messages().show(this, ui::messageTitle,
                                                messages::storeFault(failure.fault),
                                                ui::MessageService::Icon::Stop);
                            return;
                        }
                        ui::showValue(status_, QStringLiteral("Kept in the laboratory's "
                                                              "settings: %1.")
                                                   .arg(changed.keys().join(QStringLiteral(", "))));
                        reload();
                    });
}

} // namespace quarvet::history
