#pragma once

#include <QDialog>

class QLineEdit;

namespace quarvet::settings {

class SettingsStore;

// The setup dialog: edits, checks and stores the two default target values.
class SetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit SetupDialog(SettingsStore& store, QWidget* parent = nullptr);

    // Checks both entries, shows what is wrong and returns the report (empty when both are
    // numbers). Never warns about separators: a stored default is judged when it is used.
    QString reportWrongEntries();

signals:
    // Both defaults were stored: whoever shows them reloads.
    void defaultsSaved();

private:
    void fillFromDefaults();
    bool saveDefaults();
    void confirm();
    void createTargetFields(QWidget* panel);

    SettingsStore& store_;
    QLineEdit* target1_ = nullptr;
    QLineEdit* target2_ = nullptr;
};

} // namespace quarvet::settings
