// The dialog "Project properties": page "General" with the five project property edits.
#pragma once

#include "ProjectPropertyEdits.h"

#include <QDialog>

class QTabWidget;

namespace quillet {

class TProjectPropertiesForm : public QDialog, public ProjectPropertyEdits {
    Q_OBJECT
public:
    explicit TProjectPropertiesForm(QWidget* parent = nullptr);

    QTabWidget* PageControl = nullptr;
};

} // namespace quillet
