// Harvesting scans the file on a worker thread while the review dialog shows its animation:
// the window keeps answering, "OK" waits for the complete list, and closing the dialog or the
// program during a scan drops the scan safely.
#include "AddressBookWindow.h"

#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>
#include <QTimer>

using namespace quillet;
using namespace quillet::test;

namespace {

constexpr int kLargeLines = 100000; // two addresses a line

// A file of kLargeLines lines "name<i>@host<i>.com, <i>x@y.org" and some text between.
QString writeLargeFile(const FreshProgram& program)
{
    const QString path = program.path("large.txt");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return {};
    QByteArray text;
    text.reserve(kLargeLines * 64);
    for (int i = 0; i < kLargeLines; ++i)
        text += "Dear name" + QByteArray::number(i) + "@host" + QByteArray::number(i) + ".com, " +
                QByteArray::number(i) + "x@y.org ends here\r\n";
    out.write(text);
    return path;
}

QString writeFile(const FreshProgram& program, const QString& name, const QByteArray& bytes)
{
    QFile out(program.path(name));
    if (!out.open(QIODevice::WriteOnly))
        return {};
    out.write(bytes);
    return out.fileName();
}

// A script for "Find e-mail in text file": the file and the group "Work".
std::function<int(QDialog&)> chooseFile(const QString& path)
{
    return [path](QDialog& d) {
        auto& form = static_cast<TFindEMailForm&>(d);
        form.FileNameEdit->setText(path);
        form.GroupComboBox->setCurrentIndex(1);
        return int(mrOk);
    };
}

} // namespace

class HarvestScanTests : public QObject {
    Q_OBJECT
private slots:
    void largeFileIsScannedWhileTheDialogAnswers()
    {
        AddressBookWindow w;
        const QString file = writeLargeFile(w.program);
        QVERIFY(!file.isEmpty());
        w.ui.dialogScripts.push_back(chooseFile(file));

        bool scanningAtFirst = false, animationShown = false, okEnabledAtFirst = true;
        int entriesAtFirst = -1, ticksWhileScanning = 0, entries = 0;
        bool animationHiddenAfter = false, okEnabledAfter = false, ended = false;
        QString first, last;
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TEMailFoundedForm&>(d);
            form.show(); // as the modal loop shows it
            scanningAtFirst = form.scanning();
            animationShown = form.Animate1->isVisible();
            okEnabledAtFirst = form.Button1->isEnabled();
            entriesAtFirst = form.entryCount();
            // The event loop keeps running while the worker scans.
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, [&] { ticksWhileScanning += form.scanning() ? 1 : 0; });
            ticker.start(0);
            ended = waitForScan(form);
            animationHiddenAfter = form.Animate1->isHidden();
            okEnabledAfter = form.Button1->isEnabled();
            entries = form.entryCount();
            first = form.foundedEntries->index(0).data().toString();
            last = form.foundedEntries->index(entries - 1).data().toString();
            form.Button2->click();
            return int(mrCancel);
        });
        w.action("FindInFilesAction")->trigger();

        QVERIFY(scanningAtFirst);
        QVERIFY(animationShown);
        QVERIFY(!okEnabledAtFirst);
        QCOMPARE(entriesAtFirst, 0);
        QVERIFY(ended);
        QVERIFY(ticksWhileScanning > 0);
        QVERIFY(animationHiddenAfter);
        QVERIFY(okEnabledAfter);
        QCOMPARE(entries, 2 * kLargeLines);
        QCOMPARE(first, QString("name0@host0.com"));
        QCOMPARE(last, QString("%1x@y.org").arg(kLargeLines - 1));
        QCOMPARE(w.project().recipients.size(), std::size_t(4)); // cancelled: nothing added
        QVERIFY(!w.project().changed());
    }

    void okWaitsForTheScanAndCancelDropsIt()
    {
        AddressBookWindow w;
        const QString large = writeLargeFile(w.program);
        const QString small = writeFile(w.program, "small.txt", "first@a.com; second@b.com\n");
        QVERIFY(!large.isEmpty() && !small.isEmpty());

        bool stillScanningAfterOk = false, scanningAfterCancel = true, animationHidden = false;
        w.ui.dialogScripts.push_back(chooseFile(large));
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TEMailFoundedForm&>(d);
            form.accept(); // "OK" cannot end the dialog before the list is complete
            stillScanningAfterOk = form.scanning();
            form.Button2->click();
            scanningAfterCancel = form.scanning();
            animationHidden = form.Animate1->isHidden();
            return int(mrCancel);
        });
        w.action("FindInFilesAction")->trigger();
        QVERIFY(stillScanningAfterOk);
        QVERIFY(!scanningAfterCancel);
        QVERIFY(animationHidden);
        QCOMPARE(w.project().recipients.size(), std::size_t(4));
        QVERIFY(!w.project().changed());

        // The dropped scan's result arrives later and is ignored.
        TEMailFoundedForm& form = w.controller->eMailFoundedForm();
        QVERIFY(QTest::qWaitFor([&] { return form.runningScanThreads() == 0; }, 20000));
        QCoreApplication::processEvents();
        QCOMPARE(form.entryCount(), 0);
        QVERIFY(!form.scanning());

        // A script that answers "OK" without waiting adds nothing: the list was not complete.
        w.ui.dialogScripts.push_back(chooseFile(small));
        w.ui.dialogScripts.push_back([](QDialog&) { return int(mrOk); });
        w.action("FindInFilesAction")->trigger();
        QCOMPARE(w.project().recipients.size(), std::size_t(4));
        QVERIFY(!w.project().changed());

        // The next harvest lists its own file only, however the earlier scans end.
        w.ui.dialogScripts.push_back(chooseFile(large));
        w.ui.dialogScripts.push_back([](QDialog&) { return int(mrCancel); });
        w.action("FindInFilesAction")->trigger();
        QStringList found;
        w.ui.dialogScripts.push_back(chooseFile(small));
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& review = static_cast<TEMailFoundedForm&>(d);
            waitForScan(review);
            found = review.foundedEntries->stringList();
            return int(mrOk);
        });
        w.action("FindInFilesAction")->trigger();
        QCOMPARE(found, (QStringList{"first@a.com", "second@b.com"}));
        QCOMPARE(w.recordEmails().mid(4), (QStringList{"first@a.com", "second@b.com"}));
        QVERIFY(QTest::qWaitFor([&] { return form.runningScanThreads() == 0; }, 20000));
        QCoreApplication::processEvents();
        QCOMPARE(form.foundedEntries->stringList(), found);
    }

    void closingTheProgramDuringAScanIsSafe()
    {
        auto w = std::make_unique<AddressBookWindow>();
        const QString large = writeLargeFile(w->program);
        QVERIFY(!large.isEmpty());
        w->ui.dialogScripts.push_back(chooseFile(large));
        w->ui.dialogScripts.push_back([](QDialog&) { return int(mrCancel); });
        w->action("FindInFilesAction")->trigger();
        w.reset(); // the scan may still run: the dialog waits for it and drops its result
        QCoreApplication::processEvents();

        // The dialog alone, shown and destroyed while it scans.
        FreshProgram program;
        const QString file = writeLargeFile(program);
        ScriptedUserInterface ui;
        auto form = std::make_unique<TEMailFoundedForm>(ui);
        form->startScan(QFile::encodeName(file).toStdString());
        form->show();
        QCoreApplication::processEvents();
        form.reset();
        QCoreApplication::processEvents();
    }

    void unreadableFileEndsTheOperationWithItsError()
    {
        FreshProgram program;
        ScriptedUserInterface ui;
        TEMailFoundedForm form(ui);
        const std::string missing = QFile::encodeName(program.path("missing.txt")).toStdString();
        form.startScan(missing);
        form.show();
        QVERIFY(waitForScan(form));
        QVERIFY(form.isHidden()); // closed with Cancel
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QVERIFY(form.Animate1->isHidden());
        try {
            form.finishScan();
            QFAIL("no error");
        } catch (const std::exception& error) {
            QVERIFY(QString(error.what()).startsWith("Cannot open file \"" + QString::fromStdString(missing) + "\"."));
        }
        QVERIFY(!form.finishScan()); // the error is given once

        // Through the main window: a file that exists but cannot be read (the process's own
        // memory at address 0) shows the reading error and changes nothing.
        AddressBookWindow w;
        w.ui.dialogScripts.push_back(chooseFile("/proc/self/mem"));
        w.ui.dialogScripts.push_back([](QDialog& d) {
            waitForScan(static_cast<TEMailFoundedForm&>(d));
            return int(mrOk);
        });
        w.action("FindInFilesAction")->trigger();
        QCOMPARE(w.lastMessage().caption, QString("Orv Quillet"));
        QVERIFY2(w.lastMessage().text.startsWith("Cannot read file \"/proc/self/mem\"."),
                 qPrintable(w.lastMessage().text));
        QCOMPARE(w.project().recipients.size(), std::size_t(4));
        QVERIFY(!w.project().changed());
    }
};

QUILLET_APP_TEST_MAIN(HarvestScanTests)
#include "HarvestScanTests.moc"
