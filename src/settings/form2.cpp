#include "form2.h"

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
namespace {

QPushButton* addButton(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    return button;
}

} // namespace

Form2::Form2(SettingsStore& store, QWidget* parent) : QDialog(parent), store_(store)
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
    soll1_ =
        addField(frame, "Soll1", QStringLiteral("Target temperature 1"), QRect(140, 30, 90, 24));
    soll2_ =
        addField(frame, "Soll2", QStringLiteral("Target temperature 2"), QRect(140, 62, 90, 24));
    first->setBuddy(soll1_);
    second->setBuddy(soll2_);

    QPushButton* ok = addButton(this, "cmdOK", QStringLiteral("&OK"), QRect(112, 170, 100, 30));
    QPushButton* cancel =
        addButton(this, "cmdCancel", QStringLiteral("&abort"), QRect(222, 170, 100, 30));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &Form2::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);

    ValGet();
}

QLineEdit* Form2::addField(QWidget* parent, const char* name, const QString& accessibleName,
                           QRect geometry)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setAccessibleName(accessibleName);
    field->setAlignment(Qt::AlignRight);
    field->setGeometry(geometry);
    return field;
}

void Form2::ValGet()
{
    const QString target1 = store_.read(sectionDefaults, keyTarget1, QString());
    const QString target2 = store_.read(sectionDefaults, keyTarget2, QString());
    soll1_->setText(target1);
    soll2_->setText(target2);
}

bool Form2::ValSave()
{
    const QString target1 = soll1_->text();
    const QString target2 = soll2_->text();
    return store_.write(sectionDefaults, {{keyTarget1, target1}, {keyTarget2, target2}});
}

QString Form2::ValProof()
{
    const std::string first = soll1_->text().toStdString();
    const std::string second = soll2_->text().toStdString();
    const calc::FieldText entries[] = {{calc::EntryField::Target1, first},
                                       {calc::EntryField::Target2, second}};
    // Defaults are stored as typed: no separator warning here.
    return ui::showCheckReport(this,
                               calc::checkEntries(entries, ui::currentSeparators(), std::nullopt));
}

void Form2::confirm()
{
    if (!ValProof().isEmpty())
        return;
    if (!ValSave()) {
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
