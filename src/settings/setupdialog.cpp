#include "setupdialog.h"

#include "calc/check.h"
#include "settingsstore.h"
#include "ui/controls.h"
#include "ui/localeseparators.h"
#include "ui/messageservice.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quarvet::settings {
SetupDialog::SetupDialog(SettingsStore& store, QWidget* parent) : QDialog(parent), store_(store)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Quarvet    Setup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(330, 210);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("picOptions"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setGeometry(8, 8, 314, 150);

    ui::addLabel(panel, "Label1", QStringLiteral("Default values for calculation:"),
                 QRect(12, 8, 290, 24))
        ->setFont(ui::arial(10));

    createTargetFields(panel);

    QPushButton* ok = ui::addButton(this, "cmdOK", QStringLiteral("&OK"), QRect(112, 170, 100, 30));
    QPushButton* cancel =
        ui::addButton(this, "cmdCancel", QStringLiteral("&abort"), QRect(222, 170, 100, 30));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &SetupDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);

    fillFromDefaults();
}

void SetupDialog::createTargetFields(QWidget* panel)
{
    auto* frame = new QGroupBox(QStringLiteral("Target values"), panel);
    frame->setObjectName(QStringLiteral("fraSample1"));
    frame->setFont(ui::arial(9));
    frame->setGeometry(12, 38, 290, 100);

    auto* first =
        ui::addLabel(frame, "Label2", QStringLiteral("Temperature 1:"), QRect(12, 30, 120, 24));
    first->setProperty("index", 1);
    auto* second =
        ui::addLabel(frame, "Label2", QStringLiteral("Temperature 2:"), QRect(12, 62, 120, 24));
    second->setProperty("index", 2);
    target1_ = ui::addEntryField(frame, "Soll1", QStringLiteral("Target temperature 1"),
                                 QRect(140, 30, 90, 24));
    target2_ = ui::addEntryField(frame, "Soll2", QStringLiteral("Target temperature 2"),
                                 QRect(140, 62, 90, 24));
    first->setBuddy(target1_);
    second->setBuddy(target2_);
}

void SetupDialog::fillFromDefaults()
{
    const StoredDefaults defaults = readStoredDefaults(store_);
    target1_->setText(defaults.target1);
    target2_->setText(defaults.target2);
}

bool SetupDialog::saveDefaults()
{
    const QString target1 = target1_->text();
    const QString target2 = target2_->text();
    return store_.write(sectionDefaults, {{keyTarget1, target1}, {keyTarget2, target2}});
}

QString SetupDialog::reportWrongEntries()
{
    const std::string first = target1_->text().toStdString();
    const std::string second = target2_->text().toStdString();
    const calc::FieldText entries[] = {{calc::EntryField::Target1, first},
                                       {calc::EntryField::Target2, second}};
    // Defaults are stored as typed: no separator warning here.
    return ui::showCheckReport(this,
                               calc::checkEntries(entries, ui::currentSeparators(), std::nullopt));
}

void SetupDialog::confirm()
{
    if (!reportWrongEntries().isEmpty())
        return;
    if (!saveDefaults()) {
        // Closing now would look as if the defaults were kept; the user keeps the texts
        // and can try again or abort.
        ui::messages().show(this, ui::messageTitle,
                            QStringLiteral("The default values could not be stored in\r%1\r"
                                           "Please check that this file can be written.")
                                .arg(store_.location()),
                            ui::MessageService::Icon::Stop);
        return;
    }
    emit defaultsSaved();
    close();
}

} // namespace quarvet::settings
