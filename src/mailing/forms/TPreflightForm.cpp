#include "TPreflightForm.h"

#include "MailingWindowTexts.h"
#include "widgets/DialogButtons.h"
#include "widgets/HeadingLabel.h"
#include "widgets/TextBoundary.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillet {

TPreflightForm::TPreflightForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TPreflightForm");
    setWindowTitle(texts::kPreflightCaption);
    setSizeGripEnabled(true);

    SummaryLabel = new QLabel;
    SummaryLabel->setObjectName("SummaryLabel");
    SummaryLabel->setWordWrap(true);
    FindingList = new QListWidget;
    FindingList->setObjectName("FindingList");
    FindingList->setWordWrap(true);
    FindingList->setSelectionMode(QAbstractItemView::NoSelection);
    DontShowCheck = new QCheckBox(texts::kPreflightDontShow);
    DontShowCheck->setObjectName("DontShowCheck");

    // Send is the default button; Enter on Cancel cancels.
    const DialogButtons buttons = makeOkCancelButtons(*this, CancelOnEnter::Cancel);
    OKButton = buttons.ok;
    OKButton->setText(texts::kPreflightSend);
    CancelButton = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headingLabel(texts::kPreflightHeading, 2));
    layout->addWidget(SummaryLabel);
    layout->addWidget(FindingList, 1);
    layout->addWidget(DontShowCheck);
    layout->addLayout(buttons.row);
    resize(560, 320);
}

void TPreflightForm::setFindings(const std::vector<PreflightFinding>& findings)
{
    FindingList->clear();
    int warnings = 0;
    const QIcon warning = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    const QIcon information = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
    for (const PreflightFinding& finding : findings) {
        warnings += finding.warning ? 1 : 0;
        // The desktop names its own ways to give the message a From.
        const QString text =
            finding.kind == FindingKind::NoFrom ? QString(texts::kPreflightNoFrom) : toQt(finding.text);
        FindingList->addItem(new QListWidgetItem(finding.warning ? warning : information, text));
    }
    SummaryLabel->setText(warnings ? QString(texts::kPreflightWarnings).arg(warnings)
                                   : QString(texts::kPreflightClean));
    DontShowCheck->setChecked(false);
    (warnings ? CancelButton : OKButton)->setFocus();
}

} // namespace quillet
