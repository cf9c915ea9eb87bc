#include "messageservice.h"

#include <QMessageBox>

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

MessageService& messages()
{
    static BoxMessageService own;
    return current ? *current : own;
}

MessageService* setMessageService(MessageService* service)
{
    MessageService* previous = current;
    current = service;
    return previous;
}

} // namespace quarvet::ui
