#pragma once

#include "lab/labsettings.h"
#include "records/recordstore.h"

#include <QMap>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace quarvet::ui {
class StoreCall;
}

namespace quarvet::history {

// The laboratory's settings, kept in the store so that every workstation issues alike: name,
// address, accreditation, the pattern of certificate numbers, statements, a logo, and whether
// reference standards come from the register only. Read and written beside the window.
class LabWindow : public QWidget {
    Q_OBJECT
public:
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;

    explicit LabWindow(StoreSource storeSource, QWidget* parent = nullptr);

    void reload();
    // Saves what changed; refused, said, when the pattern makes no numbers or the logo is
    // no image.
    void save();
    // Takes the logo from a file; refused, said, when it is none.
    bool takeLogo(const QString& path);
    bool isBusy() const;

private:
    QLineEdit* addField(const QString& accessibleName, const QString& placeholder = {});
    QPushButton* logoButton();
    QLabel* addStatus(QVBoxLayout* layout);
    void show(const lab::LabSettings& settings);
    QMap<QString, QString> values() const;

    StoreSource storeSource_;
    QMap<QString, QLineEdit*> fields_; // by setting
    QCheckBox* registeredOnly_ = nullptr;
    QString logo_;
    QLabel* logoStatus_ = nullptr;
    QLabel* status_ = nullptr;
    lab::LabSettings read_;
    ui::StoreCall* calling_ = nullptr;
};

} // namespace quarvet::history
