#include "bench/rehearsal.h"

#include "printer_link/device_contract.h"
#include "ui/form1.h"
#include "ui/string_table.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace {

// Every text of the account is written as UTF-8 (qUtf8Printable), never in Windows' ANSI code
// page, so that one rehearsal's logs on Linux and on Windows compare byte for byte.

template<typename T> T *Element(QWidget &owner, const char *name)
{
    T *element = owner.findChild<T *>(QLatin1String(name));
    if (!element)
        throw std::runtime_error(std::string("the window has no element named ") + name);
    return element;
}

} // namespace

Rehearsal::Rehearsal(BenchWindow &bench, QWidget &window, QString outputDir, std::FILE *out)
    : bench_(bench)
    , window_(window)
    , outputDir_(std::move(outputDir))
    , out_(out)
{ }

Rehearsal::~Rehearsal()
{
    qApp->removeEventFilter(this);
}

std::vector<RehearsalPrinter> Rehearsal::defaultPrinters()
{
    return {
        { QStringLiteral("REH-0001"), BenchBehaviour::Well, 0 },
        { QStringLiteral("REH-0002"), BenchBehaviour::ComesBackWithOldFirmware, 0 },
        { QStringLiteral("REH-0003"), BenchBehaviour::ComesBackWithAnotherSerial, 0 },
    };
}

double Rehearsal::seconds() const
{
    return double(QDateTime::currentMSecsSinceEpoch() - startedMs_) / 1000.0;
}

QString Rehearsal::english(const QString &key) const
{
    try {
        return english_->lookup(qPrintable(key));
    } catch (const std::exception &) {
        return QStringLiteral("(no such key)");
    }
}

void Rehearsal::screenshot(const QString &name)
{
    // The window and the bench side by side, as an operator at the bench would see them.
    const QPixmap window = window_.grab();
    const QPixmap bench = bench_.grab();
    const int gap = 16;
    QPixmap both(window.width() + gap + bench.width(), std::max(window.height(), bench.height()));
    both.fill(Qt::white);
    {
        QPainter painter(&both);
        painter.drawPixmap(0, 0, window);
        painter.drawPixmap(window.width() + gap, 0, bench);
    }
    const QString file = outputDir_
        + QStringLiteral("/%1-%2.png").arg(++shots_, 2, 10, QLatin1Char('0')).arg(name);
    if (!both.save(file))
        std::fprintf(out_, "  (could not save %s)\n", qUtf8Printable(file));
}

void Rehearsal::statusRowsChanged(int first, int last)
{
    // Called from the window's own signals: nothing may be thrown back into it.
    auto *serials = window_.findChild<QListWidget *>(QStringLiteral("FDUPrinterListBox"));
    auto *statuses = window_.findChild<QListWidget *>(QStringLiteral("FDUStatusListBox"));
    if (!serials || !statuses)
        return;
    for (int row = first; row <= last && row < statuses->count(); ++row) {
        const QString text = statuses->item(row)->text();
        if (shown_[row] == text)
            continue;
        shown_[row] = text;
        QString key = statuses->item(row)->data(kStatusKeyRole).toString();
        if (key.isEmpty())
            key = QStringLiteral("(no key)");
        history_[row].append(key);
        const QString serial = row < serials->count() ? serials->item(row)->text() : QString();
        std::fprintf(out_, "%7.1f s  row %d  %-10s  %-42s  %s: %s\n", seconds(), row + 1,
            qUtf8Printable(serial), qUtf8Printable(text), qUtf8Printable(key),
            qUtf8Printable(english(key)));
        std::fflush(out_);
        // Taken once the window has painted the change.
        const QString name = QStringLiteral("row%1-%2")
                                 .arg(row + 1)
                                 .arg(QString(key).remove(QStringLiteral("StrRes_Status")));
        QTimer::singleShot(0, this, [this, name] { screenshot(name); });
    }
}

bool Rehearsal::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        if (widget->isWindow()
            && (widget->objectName() == QLatin1String("UI_Message")
                || qobject_cast<QMessageBox *>(widget))) {
            // Answered from the dialog's own event loop, once it is up and painted.
            QTimer::singleShot(
                100, this, [this, dialog = QPointer<QWidget>(widget)] { answerDialog(dialog); });
        }
    }
    return QObject::eventFilter(watched, event);
}

void Rehearsal::answerDialog(QWidget *dialog)
{
    if (!dialog || !dialog->isVisible())
        return;
    if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
        std::fprintf(out_, "%7.1f s  message box: %s\n", seconds(), qUtf8Printable(box->text()));
        messages_.append(box->text());
        screenshot(QStringLiteral("message"));
        if (QAbstractButton *button
            = box->defaultButton() ? box->defaultButton() : box->buttons().value(0))
            QTest::mouseClick(button, Qt::LeftButton);
        return;
    }
    auto *counts = dialog->findChild<QLabel *>(QStringLiteral("UI_UpdatedPrintersLabel"));
    auto *result = dialog->findChild<QLabel *>(QStringLiteral("UI_ResultLabel"));
    auto *message = dialog->findChild<QLabel *>(QStringLiteral("UI_MessageLabel"));
    auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("UI_OkButton"));
    const auto match = QRegularExpression(QStringLiteral("^\\[(\\d+)/(\\d+)\\]"))
                           .match(counts ? counts->text() : QString());
    if (match.hasMatch()) {
        summaryUpdated_ = match.captured(1).toInt();
        summaryTotal_ = match.captured(2).toInt();
        const QString indent = QStringLiteral("\n                    ");
        std::fprintf(out_, "%7.1f s  summary: %s%s%s\n", seconds(),
            qUtf8Printable(result ? result->text().replace(QLatin1Char('\n'), indent) : QString()),
            qUtf8Printable(indent), qUtf8Printable(counts->text()));
        std::fflush(out_);
        const QString file = outputDir_ + QStringLiteral("/summary.png");
        if (!dialog->grab().save(file))
            std::fprintf(out_, "  (could not save %s)\n", qUtf8Printable(file));
    } else {
        const QString text = message ? message->text() : QString();
        messages_.append(text);
        std::fprintf(out_, "%7.1f s  message: %s\n", seconds(),
            qUtf8Printable(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '))));
        std::fflush(out_);
        const QString file = outputDir_ + QStringLiteral("/message-%1.png").arg(messages_.size());
        dialog->grab().save(file);
    }
    // A progress view has no answer; its owner closes it.
    if (ok && ok->isEnabled())
        QTest::mouseClick(ok, Qt::LeftButton);
}

int Rehearsal::run(const std::vector<RehearsalPrinter> &printers)
{
    startedMs_ = QDateTime::currentMSecsSinceEpoch();
    if (!QDir().mkpath(outputDir_)) {
        std::fprintf(out_, "Cannot create %s for the screenshots.\n", qUtf8Printable(outputDir_));
        return 2;
    }
    for (const QString &old : QDir(outputDir_).entryList({ QStringLiteral("*.png") }, QDir::Files))
        QDir(outputDir_).remove(old);

    try {
        auto *list = Element<QListWidget>(window_, "SupportedPrinterCheckedListBox");
        auto *start = Element<QPushButton>(window_, "StartButton");
        auto *statuses = Element<QListWidget>(window_, "FDUStatusListBox");
        Element<QListWidget>(window_, "FDUPrinterListBox");

        // The printers' waits (seconds to leave the bus, half a minute to store, the tool's
        // 10-second polls) pass fifty times faster; the image itself streams at full speed.
        bench_.speedCombo->setCurrentIndex(bench_.speedCombo->findData(50));

        std::fprintf(out_, "Rehearsal: %zu printers, printer clock %s; screenshots in %s\n",
            printers.size(), qUtf8Printable(bench_.speedCombo->currentText()),
            qUtf8Printable(QDir(outputDir_).absolutePath()));
        const int alreadyListed = list->count();
        for (const RehearsalPrinter &printer : printers) {
            bench_.serialEdit->setText(printer.serial);
            bench_.behaviourCombo->setCurrentIndex(
                bench_.behaviourCombo->findData(int(printer.behaviour)));
            bench_.failPercentSpin->setValue(printer.percent);
            QTest::mouseClick(bench_.attachButton, Qt::LeftButton);
            const char *key = ExpectedFinalStatusKey(printer.behaviour);
            std::fprintf(out_, "  attached %-10s  %s; expected to end: %s\n",
                qUtf8Printable(printer.serial),
                qUtf8Printable(BehaviourText(printer.behaviour, printer.percent)),
                qUtf8Printable(english(QLatin1String(key))));
        }
        const int expectedEntries = alreadyListed + int(printers.size());
        if (!QTest::qWaitFor([&] { return list->count() == expectedEntries; }, 10000)) {
            std::fprintf(
                out_, "The window lists %d printers, not %d.\n", list->count(), expectedEntries);
            screenshot(QStringLiteral("not-listed"));
            return 2;
        }
        screenshot(QStringLiteral("listed"));

        // Tick every printer the rehearsal attached, by clicking its line.
        for (int row = 0; row < list->count(); ++row) {
            QListWidgetItem *item = list->item(row);
            const bool ours = std::any_of(printers.begin(), printers.end(),
                [&](const RehearsalPrinter &p) { return item->text().contains(p.serial); });
            if (ours && item->checkState() != Qt::Checked)
                QTest::mouseClick(
                    list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
            if (ours && item->checkState() != Qt::Checked) {
                std::fprintf(out_, "Clicking %s did not tick it.\n", qUtf8Printable(item->text()));
                return 2;
            }
        }
        screenshot(QStringLiteral("ticked"));

        connect(statuses->model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { statusRowsChanged(first, last); });
        connect(statuses->model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &from, const QModelIndex &to) {
                statusRowsChanged(from.row(), to.row());
            });
        qApp->installEventFilter(this);

        // A run that never ends is a failure, not a hang: report what was seen and stop.
        QTimer::singleShot(timeLimitMs_, this, [this] {
            std::fprintf(out_, "The run did not end within %d s.\n", timeLimitMs_ / 1000);
            screenshot(QStringLiteral("timed-out"));
            std::fflush(out_);
            std::_Exit(3);
        });

        std::fprintf(out_, "START\n");
        std::fflush(out_);
        QTest::mouseClick(start, Qt::LeftButton);
        QCoreApplication::processEvents();
        bench_.refresh();
        screenshot(QStringLiteral("finished"));

        // After the summary the window watches for the printers coming back. Wait until every
        // row that should get a mark has one: the printers restart within seconds on the fast
        // clock; "not back yet" comes after the window's bound.
        const auto marksSettled = [&] {
            auto *serials = window_.findChild<QListWidget *>(QStringLiteral("FDUPrinterListBox"));
            for (const RehearsalPrinter &printer : printers) {
                if (ExpectedReturnMark(printer.behaviour) == int(ReturnMark::None))
                    continue;
                for (int row = 0; serials && row < serials->count(); ++row) {
                    if (serials->item(row)->text() == printer.serial
                        && statuses->item(row)->data(kReturnMarkRole).toInt()
                            == int(ReturnMark::None))
                        return false;
                }
            }
            return true;
        };
        const qint64 watchStarted = QDateTime::currentMSecsSinceEpoch();
        const int returnLimitMs = int(vornik::contract::kReturnLimitSeconds) * 1000
                / std::max(1, bench_.speedCombo->currentData().toInt())
            + 20000;
        while (
            !marksSettled() && QDateTime::currentMSecsSinceEpoch() - watchStarted < returnLimitMs) {
            if (returnStep_)
                returnStep_();
            QTest::qWait(50);
        }
        bench_.refresh();
        screenshot(QStringLiteral("after-the-run"));
    } catch (const std::exception &error) {
        std::fprintf(out_, "The rehearsal could not drive the window: %s\n", error.what());
        return 2;
    }

    // The judgement: each row's last status against its printer's behaviour, what each
    // printer that should hold the image received, and the summary's counts.
    auto *serials = window_.findChild<QListWidget *>(QStringLiteral("FDUPrinterListBox"));
    auto *statuses = window_.findChild<QListWidget *>(QStringLiteral("FDUStatusListBox"));
    bool allAsExpected = true;
    int expectedUpdated = 0;
    std::fprintf(out_, "\nResult by printer (the bench's view):\n");
    for (const RehearsalPrinter &printer : printers) {
        const QString expectedKey = QLatin1String(ExpectedFinalStatusKey(printer.behaviour));
        expectedUpdated += expectedKey == QLatin1String("StrRes_StatusUpdateCompleted");
        QString finalKey = QStringLiteral("(no row)");
        for (int row = 0; serials && row < serials->count(); ++row) {
            if (serials->item(row)->text() == printer.serial && !history_[row].isEmpty())
                finalKey = history_[row].last();
        }
        QString mode, received, image;
        for (int row = 0; row < bench_.printerTable->rowCount(); ++row) {
            if (bench_.printerTable->item(row, BenchWindow::ColumnSerial)->text()
                == printer.serial) {
                mode = bench_.printerTable->item(row, BenchWindow::ColumnMode)->text();
                received = bench_.printerTable->item(row, BenchWindow::ColumnReceived)->text();
                image = bench_.printerTable->item(row, BenchWindow::ColumnImage)->text();
            }
        }
        bool ok = finalKey == expectedKey;
        // A printer reported updated must also hold the very image.
        if (expectedKey == QLatin1String("StrRes_StatusUpdateCompleted"))
            ok = ok && image == QLatin1String("matches the image");
        // What it came back with, as the window tells it in the row's mark and tooltip.
        int mark = int(ReturnMark::None);
        QString cameBack;
        for (int row = 0; serials && row < serials->count(); ++row) {
            if (serials->item(row)->text() == printer.serial && statuses
                && row < statuses->count()) {
                mark = statuses->item(row)->data(kReturnMarkRole).toInt();
                cameBack = statuses->item(row)->toolTip().section(QLatin1Char('\n'), 0, 0);
            }
        }
        const bool returnOk = mark == ExpectedReturnMark(printer.behaviour);
        ok = ok && returnOk;
        allAsExpected = allAsExpected && ok;
        std::fprintf(out_, "  %-4s %-10s  %-48s ended %-32s  %s, %s%s%s\n", ok ? "ok" : "FAIL",
            qUtf8Printable(printer.serial),
            qUtf8Printable(BehaviourText(printer.behaviour, printer.percent)),
            qUtf8Printable(finalKey), qUtf8Printable(mode),
            qUtf8Printable(received.isEmpty() ? QStringLiteral("nothing received") : received),
            image.isEmpty() ? "" : ", ", qUtf8Printable(image));
        if (mark != int(ReturnMark::None) || !returnOk)
            std::fprintf(out_, "       after the run: %s%s\n",
                qUtf8Printable(
                    mark == int(ReturnMark::None) ? QStringLiteral("(no mark)") : cameBack),
                returnOk ? "" : "  <- not what its behaviour predicts");
    }
    const bool countsRight
        = summaryUpdated_ == expectedUpdated && summaryTotal_ == int(printers.size());
    std::fprintf(out_, "Summary counted %d of %d updated; expected %d of %zu: %s\n",
        summaryUpdated_, summaryTotal_, expectedUpdated, printers.size(),
        countsRight ? "ok" : "FAIL");
    const bool passed = allAsExpected && countsRight;
    std::fprintf(out_, "Rehearsal %s in %.1f s; screenshots in %s\n", passed ? "passed" : "FAILED",
        seconds(), qUtf8Printable(QDir(outputDir_).absolutePath()));
    std::fflush(out_);
    return passed ? 0 : 1;
}
