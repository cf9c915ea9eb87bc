#pragma once

#include "interface.h"

#include <QString>

class QWidget;

namespace quarvet::calc {
struct EntryCheck;
} // namespace quarvet::calc

namespace quarvet::ui {

// Every message box of the program goes through one service, so that tests can replace it
// and read exactly what a user would have been shown.
class MessageService : public Interface {
public:
    enum class Icon { None, Stop };

    virtual ~MessageService() = default;
    // Modal, one OK button; returns when the user has closed it. Carriage returns in
    // `text` are line breaks.
    virtual void show(QWidget* parent, const QString& title, const QString& text, Icon icon) = 0;
    // Modal, asking whether to go on: a button `action` and Cancel, the default (and Esc);
    // true when the user chose `action`.
    virtual bool confirm(QWidget* parent, const QString& title, const QString& text,
                         const QString& action) = 0;
};

class BoxMessageService final : public MessageService {
public:
    void show(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
    bool confirm(QWidget* parent, const QString& title, const QString& text,
                 const QString& action) override;
};

// The service in use; the program's own box unless a test has put another in place.
MessageService& messages();
// Puts `service` in place (nullptr restores the program's own) and returns the previous one.
MessageService* setMessageService(MessageService* service);

inline const QString messageTitle = QStringLiteral("Quarvet");

// Shows what an entry check found, wrong entries first (stop icon), then the separator
// warning (no icon), each waiting for its OK; returns the report of wrong entries.
QString showCheckReport(QWidget* parent, const calc::EntryCheck& check);

} // namespace quarvet::ui
