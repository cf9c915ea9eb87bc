#pragma once

#include "ui/messageservice.h"

#include <QList>
#include <QString>
#include <QStringList>

// Stands in for the message boxes: records what the user would have been shown, in order,
// and puts the program's own service back when it goes.
class RecordingMessages final : public quarvet::ui::MessageService {
public:
    struct Box {
        QString title;
        QString text;
        Icon icon;
    };

    RecordingMessages() : previous_(quarvet::ui::setMessageService(this)) {}
    ~RecordingMessages() override { quarvet::ui::setMessageService(previous_); }
    RecordingMessages(const RecordingMessages&) = delete;
    RecordingMessages& operator=(const RecordingMessages&) = delete;

    void show(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        boxes.append({title, text, icon});
    }
    // A question is recorded as a box of its own and answered with the next of `answers`,
    // Cancel when none is left.
    bool confirm(QWidget*, const QString& title, const QString& text,
                 const QString& action) override
    {
        questions.append({title, text, Icon::None});
        actions.append(action);
        return !answers.isEmpty() && answers.takeFirst();
    }

    QList<Box> boxes;
    QList<Box> questions;
    QStringList actions; // what each question's button other than Cancel says
    QList<bool> answers;

private:
    quarvet::ui::MessageService* previous_;
};
