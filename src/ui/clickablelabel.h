#pragma once

#include <QLabel>

namespace quarvet::ui {

// A caption or picture that acts on a click, as the title, the logo and the links do.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace quarvet::ui
