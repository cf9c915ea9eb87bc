#include "messageservice.h"

#include "calc/check.h"
#include "messages/messages.h"

#include <QMessageBox>
#include <QPushButton>

namespace quarvet::ui {
namespace {

MessageService* current = nullptr;

} // namespace

void BoxMessageService::show(QWidget* parent, const QString& title, const QString& text, Icon icon)
{
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon == Icon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon, title, shown,
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool BoxMessageService::confirm(QWidget* parent, const QString& title, const QString& text,
                                const QString& action)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* going = box.addButton(action, QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == going;
}

MessageService& messages()
{
    static BoxMessageService own;
    return current ? *current : own;
}

QString showCheckReport(QWidget* parent, const calc::EntryCheck& check)
{
    const QString wrongEntries =
        QString::fromStdString(quarvet::messages::wrongEntriesReport(check.wrongFields));
    if (!wrongEntries.isEmpty())
        messages().show(parent, messageTitle, wrongEntries, MessageService::Icon::Stop);
    if (check.foreignSeparator)
        messages().show(
            parent, messageTitle,
            QString::fromStdString(quarvet::messages::separatorWarning(*check.foreignSeparator)),
            MessageService::Icon::None);
    return wrongEntries;
}

MessageService* setMessageService(MessageService* service)
{
    MessageService* previous = current;
    current = service;
    return previous;
}

} // namespace quarvet::ui
