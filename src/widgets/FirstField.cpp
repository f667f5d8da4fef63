#include "FirstField.h"

#include <QEvent>
#include <QLineEdit>
#include <QObject>
#include <QWidget>

namespace quillet {

namespace {

class FocusOnShow : public QObject {
public:
    FocusOnShow(QWidget& dialog, std::function<QWidget*()> field) : QObject(&dialog), field_(std::move(field))
    {
        dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == parent()) {
            if (QWidget* field = field_()) {
                field->setFocus(Qt::OtherFocusReason);
                if (auto* edit = qobject_cast<QLineEdit*>(field))
                    edit->selectAll();
            }
        }
        return false;
    }

private:
    std::function<QWidget*()> field_;
};

} // namespace

void focusOnShow(QWidget& dialog, QWidget* field)
{
    focusOnShow(dialog, [field] { return field; });
}

void focusOnShow(QWidget& dialog, std::function<QWidget*()> field)
{
    new FocusOnShow(dialog, std::move(field));
}

} // namespace quillet
