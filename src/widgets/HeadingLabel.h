// The bold heading of a dialog or of a page of one.
#pragma once

#include <QFont>
#include <QLabel>

namespace quillet {

// A label in the bold font, pointsLarger points above the normal size.
inline QLabel* headingLabel(const QString& text, int pointsLarger = 0)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    if (pointsLarger != 0)
        font.setPointSize(font.pointSize() + pointsLarger);
    label->setFont(font);
    return label;
}

} // namespace quillet
