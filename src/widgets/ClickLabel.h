// A blue label with a hand cursor that acts like the button beside it when clicked.
#pragma once

#include <QLabel>

namespace quillet {

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateColour();
};

} // namespace quillet
