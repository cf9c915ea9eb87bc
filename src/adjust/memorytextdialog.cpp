#include "memorytextdialog.h"

#include "ui/controls.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quarvet::adjust {

MemoryTextDialog::MemoryTextDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MemoryText"));
    setWindowTitle(QStringLiteral("Read from memory text"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Paste the instrument's memory text:"), this));
    text_ = new QPlainTextEdit(this);
    text_->setAccessibleName(QStringLiteral("Memory text"));
    layout->addWidget(text_);
    line1_ = new QRadioButton(QStringLiteral("Display line &1"), this);
    auto* line2 = new QRadioButton(QStringLiteral("Display line &2"), this);
    line1_->setChecked(true);
    layout->addWidget(line1_);
    layout->addWidget(line2);
    fault_ = new QLabel(this);
    fault_->setAccessibleName(QStringLiteral("Decoding fault"));
    fault_->setTextFormat(Qt::PlainText);
    fault_->setWordWrap(true);
    layout->addWidget(fault_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString MemoryTextDialog::memoryText() const
{
    // One memory text: the first line that is not empty.
    for (const QString& line : text_->toPlainText().split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            return line.trimmed();
    return {};
}

int MemoryTextDialog::displayLine() const
{
    return line1_->isChecked() ? 1 : 2;
}

void MemoryTextDialog::showFault(const QString& fault)
{
    ui::showValue(fault_, QStringLiteral("Nothing filled: ") + fault);
}

} // namespace quarvet::adjust
