#include "bench_window.h"

#include "firmware/identity_check.h"
#include "printer_link/printer_link.h"
#include "printer_link/simulated/virtual_clock.h"
#include "ui/build_texts.h"
#include "ui/form1.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

using vornik::sim::PrinterConfig;
using vornik::sim::PrinterMode;

namespace {

// The bench as it opens where there is room, and the least its table may shrink to: a header
// and two printers stay readable, the rest scrolls.
constexpr QSize kRoomySize(920, 480);
constexpr int kLeastTableHeight = 90;
// Compact, below the product's window: as wide as the room, this low.
constexpr int kCompactHeight = 250;
constexpr int kGap = 8;

QMargins FrameMargins(const QWidget &window)
{
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return { client.left() - frame.left(), client.top() - frame.top(),
        frame.right() - client.right(), frame.bottom() - client.bottom() };
}

// The bench's least size with its window frame, in the layout it has now.
QSize LeastFramedSize(BenchWindow &bench, const QMargins &frame)
{
    bench.layout()->activate();
    return bench.minimumSizeHint().expandedTo(bench.minimumSize())
        + QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
}

} // namespace

QString BehaviourText(BenchBehaviour behaviour, int percent)
{
    switch (behaviour) {
    case BenchBehaviour::Well:
        return QStringLiteral("updates well, comes back with the new firmware");
    case BenchBehaviour::ComesBackWithOldFirmware:
        return QStringLiteral("stores nothing, comes back with the old firmware");
    case BenchBehaviour::DoesNotComeBack:
        return QStringLiteral("updates well, does not come back");
    case BenchBehaviour::NeverLeavesBus:
        return QStringLiteral("never leaves the bus");
    case BenchBehaviour::ComesBackWithAnotherSerial:
        return QStringLiteral("comes back with another serial");
    case BenchBehaviour::ComesBackTooLate:
        return QStringLiteral("comes back too late");
    case BenchBehaviour::FailsTransferAt:
        return QStringLiteral("fails the transfer at %1 %").arg(percent);
    case BenchBehaviour::NeverFinishesStoring:
        return QStringLiteral("never finishes storing");
    case BenchBehaviour::UnpluggedAt:
        return QStringLiteral("is unplugged at %1 % of the image").arg(percent);
    }
    return {};
}

const char *ExpectedFinalStatusKey(BenchBehaviour behaviour)
{
    switch (behaviour) {
    case BenchBehaviour::Well:
    case BenchBehaviour::ComesBackWithOldFirmware:
    case BenchBehaviour::DoesNotComeBack:
        // Each left the bus after it took the image; only the watch after the run tells them
        // apart.
        return "StrRes_StatusUpdateCompleted";
    case BenchBehaviour::NeverFinishesStoring:
        return "StrRes_StatusUpdateTimeout";
    case BenchBehaviour::NeverLeavesBus:
    case BenchBehaviour::ComesBackWithAnotherSerial:
    case BenchBehaviour::ComesBackTooLate:
    case BenchBehaviour::FailsTransferAt:
    case BenchBehaviour::UnpluggedAt:
        // Each fails an earlier step; the last step's word for all of them is the same.
        return "StrRes_StatusPrinterNotFound";
    }
    return "";
}

int ExpectedReturnMark(BenchBehaviour behaviour)
{
    switch (behaviour) {
    case BenchBehaviour::Well:
        return int(ReturnMark::NewFirmware);
    case BenchBehaviour::ComesBackWithOldFirmware:
        return int(ReturnMark::OtherFirmware);
    case BenchBehaviour::DoesNotComeBack:
    case BenchBehaviour::NeverFinishesStoring:
        return int(ReturnMark::NotBackYet);
    default:
        // Failed rows are not watched.
        return int(ReturnMark::None);
    }
}

QString BenchWindow::modeText(const vornik::sim::PrinterSnapshot &printer)
{
    switch (printer.mode) {
    case PrinterMode::Normal:
        if (printer.restarted)
            return QStringLiteral("back, firmware %1")
                .arg(QString::fromStdString(printer.revision));
        return QStringLiteral("normal");
    case PrinterMode::LeavingBus:
        // A printer that ignores the download command would otherwise read as leaving for ever.
        return printer.config.leaveBusAfterMs < 0 ? QStringLiteral("normal, stays on the bus")
                                                  : QStringLiteral("leaving the bus");
    case PrinterMode::OffBus:
        return QStringLiteral("off the bus");
    case PrinterMode::DownloadMode:
        return printer.config.downloadSerial.empty()
            ? QStringLiteral("download mode")
            : QStringLiteral("download mode as %1")
                  .arg(QString::fromStdString(printer.config.downloadSerial));
    case PrinterMode::Storing:
        return printer.config.storeTimeMs < 0 ? QStringLiteral("storing, never finishes")
                                              : QStringLiteral("storing");
    case PrinterMode::Gone:
        return printer.restarted ? QStringLiteral("stored and restarted")
                                 : QStringLiteral("detached");
    }
    return {};
}

QString BenchWindow::receivedText(std::uint64_t bytes) const
{
    if (bytes == 0)
        return {};
    const QString megabytes = QStringLiteral("%1 MB").arg(double(bytes) / 1e6, 0, 'f', 2);
    if (imageBytes_ == 0)
        return megabytes;
    return QStringLiteral("%1 (%2 %)")
        .arg(megabytes)
        .arg(100.0 * double(bytes) / double(imageBytes_), 0, 'f', 1);
}

BenchWindow::BenchWindow(vornik::sim::SimulatedPrinters &printers, const QString &productName,
    std::uint32_t imageBytes, QString imageSha256, vornik::sim::ScaledRealClock *clock,
    QWidget *parent)
    : QWidget(parent)
    , printers_(printers)
    , productName_(productName)
    , imageBytes_(imageBytes)
    , imageSha256_(std::move(imageSha256))
    , clock_(clock)
{
    setWindowTitle(QStringLiteral("Printer bench"));
    {
        char16_t build[kBuildTextUnits] = {};
        const QString file = BuildTexts::fromBuild().firmwareFileName;
        if (!file.isNull()
            && Lib_FlashFileValidityCheck(reinterpret_cast<const char16_t *>(productName_.utf16()),
                   reinterpret_cast<const char16_t *>(file.utf16()), build, kBuildTextUnits)
                == kFhxOk) {
            const QString model = productName_.section(QLatin1Char(' '), -1);
            newFirmwareRevision
                = QStringLiteral("%1.%2.01")
                      .arg(model, BuildTexts::buildNumberOf(QString::fromUtf16(build)));
        } else {
            newFirmwareRevision = QStringLiteral("NEW.01");
        }
    }
    setObjectName(QStringLiteral("BenchWindow"));

    auto *form = new QFormLayout;
    serialEdit = new QLineEdit;
    serialEdit->setPlaceholderText(QStringLiteral("next free serial"));
    form->addRow(QStringLiteral("Serial number"), serialEdit);

    productCombo = new QComboBox;
    productCombo->addItem(productName_, int(BenchProduct::BuildProduct));
    productCombo->addItem(QStringLiteral("another product"), int(BenchProduct::OtherProduct));
    productCombo->addItem(
        QStringLiteral("unreadable device ID"), int(BenchProduct::UnreadableDeviceId));
    form->addRow(QStringLiteral("Product"), productCombo);

    statusCombo = new QComboBox;
    for (int code = 0; code <= 54; ++code) {
        const QString name = QString::fromUtf16(PrinterStatusName(code));
        statusCombo->addItem(
            name.isEmpty() ? QString::number(code) : QStringLiteral("%1 %2").arg(code).arg(name),
            code);
    }
    form->addRow(QStringLiteral("Status"), statusCombo);

    behaviourCombo = new QComboBox;
    for (const BenchBehaviour behaviour : { BenchBehaviour::Well,
             BenchBehaviour::ComesBackWithOldFirmware, BenchBehaviour::DoesNotComeBack,
             BenchBehaviour::NeverLeavesBus, BenchBehaviour::ComesBackWithAnotherSerial,
             BenchBehaviour::ComesBackTooLate, BenchBehaviour::FailsTransferAt,
             BenchBehaviour::UnpluggedAt, BenchBehaviour::NeverFinishesStoring }) {
        QString text = BehaviourText(behaviour, 0);
        text.replace(QStringLiteral("0 %"), QStringLiteral("N %"));
        behaviourCombo->addItem(text, int(behaviour));
    }
    failPercentSpin = new QSpinBox;
    failPercentSpin->setRange(0, 99);
    failPercentSpin->setValue(50);
    failPercentSpin->setSuffix(QStringLiteral(" %"));
    auto *behaviourRow = new QHBoxLayout;
    behaviourRow->addWidget(behaviourCombo, 1);
    behaviourRow->addWidget(failPercentSpin);
    form->addRow(QStringLiteral("During an update"), behaviourRow);

    attachButton = new QPushButton(QStringLiteral("Attach"));
    detachButton = new QPushButton(QStringLiteral("Detach selected"));
    setStatusButton = new QPushButton(QStringLiteral("Set status of selected"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(attachButton);
    buttons->addWidget(detachButton);
    buttons->addWidget(setStatusButton);

    auto *attachBox = new QGroupBox(QStringLiteral("Attach a printer"));
    auto *attachLayout = new QVBoxLayout(attachBox);
    attachLayout->addLayout(form);
    attachLayout->addLayout(buttons);

    printerTable = new QTableWidget(0, ColumnCount);
    printerTable->setHorizontalHeaderLabels({ QStringLiteral("#"), QStringLiteral("Serial"),
        QStringLiteral("Identity"), QStringLiteral("During an update"), QStringLiteral("Mode"),
        QStringLiteral("Received"), QStringLiteral("Image") });
    printerTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    printerTable->setSelectionMode(QAbstractItemView::SingleSelection);
    printerTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    printerTable->verticalHeader()->hide();
    printerTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    printerTable->horizontalHeader()->setStretchLastSection(true);

    speedCombo = new QComboBox;
    speedCombo->addItem(QStringLiteral("real time"), 1);
    speedCombo->addItem(QStringLiteral("10 x faster"), 10);
    speedCombo->addItem(QStringLiteral("50 x faster"), 50);
    speedCombo->setEnabled(clock_ != nullptr);
    auto *speedRow = new QHBoxLayout;
    speedRow->addWidget(new QLabel(QStringLiteral("Printer clock")));
    speedRow->addWidget(speedCombo);
    speedRow->addStretch();

    // Assistive technology names a choice by its label, not by the entry it shows. (On Linux Qt
    // gives a combo box its entry as its name and the label through the form's relation.)
    for (const auto &[control, name] : std::initializer_list<std::pair<QWidget *, const char *>> {
             { productCombo, "Product" },
             { statusCombo, "Status" },
             { behaviourCombo, "During an update" },
             { failPercentSpin, "Stops at this share of the image" },
             { speedCombo, "Printer clock" },
             { printerTable, "Printers" },
         })
        control->setAccessibleName(QLatin1String(name));

    auto *controls = new QVBoxLayout;
    controls->addWidget(attachBox);
    controls->addLayout(speedRow);
    controls->addStretch();
    layout_ = new QBoxLayout(QBoxLayout::TopToBottom, this);
    layout_->addLayout(controls);
    layout_->addWidget(printerTable, 1);
    printerTable->setMinimumHeight(kLeastTableHeight);
    resize(kRoomySize);

    connect(attachButton, &QPushButton::clicked, this, [this] { attachFromForm(); });
    connect(detachButton, &QPushButton::clicked, this, [this] {
        if (const int id = selectedPrinterId(); id > 0)
            printers_.detach(id);
        refresh();
    });
    connect(setStatusButton, &QPushButton::clicked, this, [this] {
        if (const int id = selectedPrinterId(); id > 0)
            printers_.setStatus(id, statusCombo->currentData().toInt());
        refresh();
    });
    connect(behaviourCombo, &QComboBox::currentIndexChanged, this, [this] {
        const int behaviour = behaviourCombo->currentData().toInt();
        failPercentSpin->setEnabled(behaviour == int(BenchBehaviour::FailsTransferAt)
            || behaviour == int(BenchBehaviour::UnpluggedAt));
    });
    failPercentSpin->setEnabled(false);
    connect(speedCombo, &QComboBox::currentIndexChanged, this, [this] {
        if (clock_)
            clock_->setFactor(speedCombo->currentData().toInt());
    });

    // The printers' own timeline (leaving the bus, coming back, finishing) moves on even when
    // nobody asks them anything; polling applies it and raises the device-change notices.
    pollTimer_ = new QTimer(this);
    connect(pollTimer_, &QTimer::timeout, this, [this] {
        printers_.poll();
        refresh();
    });
    pollTimer_->start(200);
    refresh();
}

PrinterConfig BenchWindow::makeConfig(const QString &serial, BenchProduct product, int status,
    BenchBehaviour behaviour, int percent) const
{
    PrinterConfig config;
    config.serial = serial.toStdString();
    const QString name = product == BenchProduct::OtherProduct
        ? (productName_ == QLatin1String("ZELTAN VKT6600") ? QStringLiteral("ZELTAN BRW7000")
                                                           : QStringLiteral("ZELTAN VKT6600"))
        : productName_;
    const qsizetype blank = name.indexOf(QLatin1Char(' '));
    config.manufacturer = (blank < 0 ? name : name.left(blank)).toStdString();
    config.model = (blank < 0 ? QString() : name.mid(blank + 1)).toStdString();
    if (product == BenchProduct::UnreadableDeviceId)
        config.deviceId = vornik::sim::DeviceIdKind::Unreadable;
    config.status = status;
    config.expectedImageBytes = imageBytes_;
    if (!imageSha256_.isEmpty())
        config.revisionOfImage[imageSha256_.toStdString()] = newFirmwareRevision.toStdString();
    return vornik::sim::WithBehaviour(config, behaviour, imageBytes_, percent);
}

int BenchWindow::attachFromForm()
{
    QString serial = serialEdit->text().trimmed();
    if (serial.isEmpty())
        serial = QStringLiteral("BENCH%1").arg(nextSerial_++, 4, 10, QLatin1Char('0'));
    const auto behaviour = BenchBehaviour(behaviourCombo->currentData().toInt());
    const int percent = failPercentSpin->value();
    const int id
        = printers_.attach(makeConfig(serial, BenchProduct(productCombo->currentData().toInt()),
            statusCombo->currentData().toInt(), behaviour, percent));
    chosen_[id] = Chosen { behaviour, percent };
    serialEdit->clear();
    refresh();
    return id;
}

int BenchWindow::selectedPrinterId() const
{
    const auto rows = printerTable->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return 0;
    return printerTable->item(rows.first().row(), 0)->data(Qt::UserRole).toInt();
}

void BenchWindow::refresh()
{
    const auto snapshots = printers_.snapshots();
    const int selected = selectedPrinterId();
    printerTable->setRowCount(int(snapshots.size()));
    for (int row = 0; row < int(snapshots.size()); ++row) {
        const auto &s = snapshots[row];
        QString identity;
        switch (s.config.deviceId) {
        case vornik::sim::DeviceIdKind::Unreadable:
            identity = QStringLiteral("(unreadable)");
            break;
        case vornik::sim::DeviceIdKind::Raw:
            identity = QStringLiteral("(raw device ID)");
            break;
        default:
            identity = QString::fromStdString(s.config.manufacturer + " " + s.config.model);
        }
        QString image;
        if (s.imageBytes > 0) {
            if (s.imageBytes < imageBytes_)
                image = QStringLiteral("partial");
            else if (imageSha256_.isEmpty())
                image = QStringLiteral("received");
            else
                image = QString::fromStdString(s.imageSha256) == imageSha256_
                    ? QStringLiteral("matches the image")
                    : QStringLiteral("DIFFERS from the image");
        }
        QString behaviour;
        if (const auto chosen = chosen_.find(s.id); chosen != chosen_.end())
            behaviour = BehaviourText(chosen->second.behaviour, chosen->second.percent);
        const QStringList cells = { QString::number(s.id), QString::fromStdString(s.config.serial),
            identity, behaviour, modeText(s), receivedText(s.imageBytes), image };
        for (int column = 0; column < cells.size(); ++column) {
            QTableWidgetItem *item = printerTable->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                printerTable->setItem(row, column, item);
            }
            item->setText(cells[column]);
            item->setData(Qt::UserRole, s.id);
        }
        if (s.id == selected)
            printerTable->selectRow(row);
    }
}

void BenchWindow::setCompact(bool compact)
{
    layout_->setDirection(compact ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
}

bool BenchWindow::isCompact() const
{
    return layout_->direction() == QBoxLayout::LeftToRight;
}

bool PlaceBeside(QWidget &window, BenchWindow &bench)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return true;
    const QRect area = screen->availableGeometry();
    const QSize main = window.frameGeometry().size();
    // Known once the desktop has framed the bench (after show); none before.
    const QMargins frame = FrameMargins(bench);
    const QSize decoration(frame.left() + frame.right(), frame.top() + frame.bottom());
    const auto put = [&](const QRect &framed) { bench.setGeometry(framed.marginsRemoved(frame)); };

    bench.setCompact(false);
    QSize least = LeastFramedSize(bench, frame);
    const int roomRight = area.width() - main.width() - kGap;
    if (roomRight >= least.width() && area.height() >= std::max(least.height(), main.height())) {
        const QSize size(std::min(roomRight, kRoomySize.width() + decoration.width()),
            std::min(area.height(), kRoomySize.height() + decoration.height()));
        const int left = area.left() + (roomRight - size.width()) / 2;
        const int top = area.top() + (area.height() - std::max(main.height(), size.height())) / 2;
        window.move(left, top);
        put(QRect(QPoint(left + main.width() + kGap, top), size));
        return true;
    }

    bench.setCompact(true);
    least = LeastFramedSize(bench, frame);
    const int roomBelow = area.height() - main.height() - kGap;
    if (roomBelow >= least.height() && area.width() >= std::max(least.width(), main.width())) {
        const QSize size(area.width(), std::min(roomBelow, kCompactHeight + decoration.height()));
        const int top = area.top() + (roomBelow - size.height()) / 2;
        window.move(area.left() + (area.width() - main.width()) / 2, top);
        put(QRect(QPoint(area.left(), top + main.height() + kGap), size));
        return true;
    }

    bench.setCompact(false);
    const QString noRoom = QStringLiteral(" - no room beside the product's window on this screen");
    if (!bench.windowTitle().endsWith(noRoom))
        bench.setWindowTitle(bench.windowTitle() + noRoom);
    window.setWindowFlag(Qt::WindowStaysOnTopHint);
    window.show();
    window.raise();
    return false;
}
