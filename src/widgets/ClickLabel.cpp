#include "ClickLabel.h"

#include <QMouseEvent>

namespace quillet {

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    updateColour();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isEnabled() && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        updateColour();
    QLabel::changeEvent(event);
}

void ClickLabel::updateColour()
{
    setStyleSheet(isEnabled() ? "color: blue;" : "color: gray;");
}

} // namespace quillet
