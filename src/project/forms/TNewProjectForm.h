// The dialog "New project": the logo picture and the five project property edits.
#pragma once

#include "ProjectPropertyEdits.h"

#include <QDialog>

namespace quillet {

class LogoPicture;

class TNewProjectForm : public QDialog, public ProjectPropertyEdits {
    Q_OBJECT
public:
    explicit TNewProjectForm(QWidget* parent = nullptr);

    LogoPicture* Image1 = nullptr;
};

} // namespace quillet
