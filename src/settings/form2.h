#pragma once

#include <QDialog>

class QLineEdit;

namespace quarvet::settings {

class SettingsStore;

// The setup dialog: edits, checks and stores the two default target values.
class Form2 : public QDialog {
    Q_OBJECT
public:
    explicit Form2(SettingsStore& store, QWidget* parent = nullptr);

    // Checks both entries, shows what is wrong and returns the report (empty when both are
    // numbers). Never warns about separators: a stored default is judged when it is used.
    QString ValProof();

signals:
    // Both defaults were stored: whoever shows them reloads.
    void defaultsSaved();

private:
    void ValGet();
    bool ValSave();
    void confirm();
    QLineEdit* addField(QWidget* parent, const char* name, const QString& accessibleName,
                        QRect geometry);

    SettingsStore& store_;
    QLineEdit* soll1_ = nullptr;
    QLineEdit* soll2_ = nullptr;
};

} // namespace quarvet::settings
