#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QRadioButton;

namespace quarvet::adjust {

// Asks for a memory text and the display line whose codes it holds.
class MemoryTextDialog : public QDialog {
    Q_OBJECT
public:
    explicit MemoryTextDialog(QWidget* parent = nullptr);
    QString memoryText() const;
    int displayLine() const;
    void showFault(const QString& fault);

private:
    QPlainTextEdit* text_ = nullptr;
    QRadioButton* line1_ = nullptr;
    QLabel* fault_ = nullptr;
};

} // namespace quarvet::adjust
