// Every fault a printer, a cable or an operator can produce during an update: the run ends,
// each row and the summary tell the truth, and no printer with a partial image is reported as
// updated.
#include "harness.h"

#include "printer_link/device_contract.h"
#include "printer_link/simulated/printer_behaviours.h"

#include <QPushButton>
#include <QTest>

#include <atomic>
#include <random>
#include <thread>

using vornik::sim::DeviceIdKind;
using vornik::sim::PrinterBehaviour;
using vornik::sim::PrinterConfig;
using vornik::sim::WithBehaviour;

namespace {

enum class Fault {
    None,
    UnpluggedBeforeStart,
    UnpluggedDuringPrepareCommand,
    UnpluggedDuringDownloadCommand,
    UnpluggedOffTheBus,
    UnpluggedAtStartOfTransfer,
    UnpluggedHalfWay,
    UnpluggedAt99Percent,
    UnpluggedWhileStoring,
    NeverLeavesBus,
    ComesBackWithAnotherSerial,
    ComesBackTooLate,
    TransferRefusedHalfWay,
    NeverFinishesStoring,
    BusyBetweenCommands,
};

constexpr std::uint32_t kImageBytes = 1024 * 1024;

struct Row {
    const char *name;
    std::vector<Fault> printers;
    QStringList finalStatuses;
    int updated;
};

const std::vector<Row> &Rows()
{
    static const std::vector<Row> rows = {
        { "unplugged before START", { Fault::UnpluggedBeforeStart }, {}, 0 },
        { "unplugged with the first command", { Fault::UnpluggedDuringPrepareCommand },
            { kNotFound }, 0 },
        { "unplugged with the download command", { Fault::UnpluggedDuringDownloadCommand },
            { kNotFound }, 0 },
        { "unplugged while off the bus", { Fault::UnpluggedOffTheBus }, { kNotFound }, 0 },
        { "unplugged at 0 %", { Fault::UnpluggedAtStartOfTransfer }, { kNotFound }, 0 },
        { "unplugged at 50 %", { Fault::UnpluggedHalfWay }, { kNotFound }, 0 },
        { "unplugged at 99 %", { Fault::UnpluggedAt99Percent }, { kNotFound }, 0 },
        // Leaving the bus is how a printer says it has stored the image: an unplug while storing
        // cannot be told apart, and the whole image had arrived.
        { "unplugged while storing", { Fault::UnpluggedWhileStoring }, { kCompleted }, 1 },
        { "busy between the two commands", { Fault::BusyBetweenCommands }, { kNotFound }, 0 },
        { "six printers, one of each fault",
            { Fault::None, Fault::NeverLeavesBus, Fault::ComesBackWithAnotherSerial,
                Fault::ComesBackTooLate, Fault::TransferRefusedHalfWay,
                Fault::NeverFinishesStoring },
            { kCompleted, kNotFound, kNotFound, kNotFound, kNotFound, kUpdateTimeout }, 1 },
        { "six printers, unplugged at every stage",
            { Fault::UnpluggedDuringDownloadCommand, Fault::UnpluggedOffTheBus,
                Fault::UnpluggedHalfWay, Fault::None, Fault::UnpluggedAt99Percent,
                Fault::UnpluggedWhileStoring },
            { kNotFound, kNotFound, kNotFound, kCompleted, kNotFound, kCompleted }, 2 },
    };
    return rows;
}

PrinterConfig Configure(PrinterConfig config, Fault fault)
{
    switch (fault) {
    case Fault::UnpluggedDuringPrepareCommand:
        config.detachOnCommand = "ds2.set 79744, 1;";
        break;
    case Fault::UnpluggedDuringDownloadCommand:
        config.detachOnCommand = "udw.srec_download;";
        break;
    case Fault::UnpluggedAtStartOfTransfer:
        return WithBehaviour(config, PrinterBehaviour::UnpluggedAt, kImageBytes, 0);
    case Fault::UnpluggedHalfWay:
        return WithBehaviour(config, PrinterBehaviour::UnpluggedAt, kImageBytes, 50);
    case Fault::UnpluggedAt99Percent:
        return WithBehaviour(config, PrinterBehaviour::UnpluggedAt, kImageBytes, 99);
    case Fault::NeverLeavesBus:
        return WithBehaviour(config, PrinterBehaviour::NeverLeavesBus, kImageBytes);
    case Fault::ComesBackWithAnotherSerial:
        return WithBehaviour(config, PrinterBehaviour::ComesBackWithAnotherSerial, kImageBytes);
    case Fault::ComesBackTooLate:
        return WithBehaviour(config, PrinterBehaviour::ComesBackTooLate, kImageBytes);
    case Fault::TransferRefusedHalfWay:
        return WithBehaviour(config, PrinterBehaviour::FailsTransferAt, kImageBytes, 50);
    case Fault::NeverFinishesStoring:
        return WithBehaviour(config, PrinterBehaviour::NeverFinishesStoring, kImageBytes);
    case Fault::BusyBetweenCommands:
        config.statusAfterFirstCommand = vornik::contract::kStatusPrinting;
        break;
    default:
        break;
    }
    return config;
}

} // namespace

class FaultMatrixTest : public QObject {
    Q_OBJECT

private slots:
    void fault_data() { AddIndexRows(Rows()); }

    void fault()
    {
        QFETCH(int, index);
        const Row &row = Rows()[index];
        WorkflowHarness h(kImageBytes);
        std::vector<int> ids;
        for (std::size_t i = 0; i < row.printers.size(); ++i)
            ids.push_back(h.printers.attach(
                Configure(h.printer("SN" + std::to_string(i + 1)), row.printers[i])));
        Form1 &form = h.start();
        for (std::size_t i = 0; i < ids.size(); ++i)
            h.tick(int(i));

        // Faults that strike at a point the printer cannot see: the tool's own progress says when.
        const auto unplugWhen = [&](Fault fault, const QString &status) {
            for (std::size_t i = 0; i < ids.size(); ++i)
                if (row.printers[i] == fault && h.historyOf(int(i)).endsWith(status))
                    h.printers.detach(ids[i]);
        };
        h.onStatus = [&](const WorkflowHarness::StatusChange &) {
            unplugWhen(Fault::UnpluggedOffTheBus, kFlashMode);
            unplugWhen(Fault::UnpluggedWhileStoring, kStoring);
        };
        for (std::size_t i = 0; i < ids.size(); ++i)
            if (row.printers[i] == Fault::UnpluggedBeforeStart)
                h.printers.detach(ids[i]);

        form.App_StartButton_Handler();
        h.onStatus = nullptr;

        QCOMPARE(h.statuses(), row.finalStatuses);
        const RecordedMessage &summary = h.messages.back();
        QCOMPARE(summary.type, 3);
        QCOMPARE(summary.total, int(ids.size()));
        QCOMPARE(summary.updated, row.updated);
        QCOMPARE(summary.text == kAllUpdated, row.updated == int(ids.size()));

        // Completed means the whole image arrived; and nothing is left open.
        for (int r = 0; r < row.finalStatuses.size(); ++r) {
            const auto snapshot = h.printers.snapshot(ids[r]);
            QVERIFY(!snapshot.handleOpen);
            if (row.finalStatuses[r] == kCompleted)
                QCOMPARE(snapshot.imageBytes, std::uint64_t(kImageBytes));
        }
        QVERIFY(form.AppCloseButton->isEnabled());
    }

    void unreadableDeviceIdsAreNeverOffered_data()
    {
        QTest::addColumn<QByteArray>("deviceId");
        QTest::newRow("garbage") << QByteArray("\x01\xff\xfe;;;:::MFG", 10);
        QTest::newRow("no MFG field") << QByteArray("MDL:QXR3303;SN:1;");
        QTest::newRow("oversized, no terminator") << QByteArray(600, 'M');
        QTest::newRow("full buffer of a valid start")
            << QByteArray("MFG:ZELTAN;MDL:QXR3303;SN:") + QByteArray(600, '7');
        QTest::newRow("zero byte first") << QByteArray("\0MFG:ZELTAN;MDL:QXR3303;", 24);
    }

    void unreadableDeviceIdsAreNeverOffered()
    {
        QFETCH(QByteArray, deviceId);
        WorkflowHarness h;
        PrinterConfig config = h.printer("X");
        config.deviceId = DeviceIdKind::Raw;
        config.rawDeviceId.assign(deviceId.begin(), deviceId.end());
        h.printers.attach(config);
        h.printers.attach(h.printer("GOOD"));
        h.start();
        QCOMPARE(h.listEntries(), QStringList({ QStringLiteral("ZELTAN QXR3303[SN#:GOOD]") }));
    }

    void stormOfNoticesDuringAListing()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("STAY"));
        Form1 &form = h.start();
        std::atomic<bool> stop { false };
        std::thread storm([&h, &stop] {
            std::mt19937 random(7);
            std::vector<int> extra;
            while (!stop) {
                if (extra.size() < 8 && random() % 2)
                    extra.push_back(h.printers.attach(h.printer("FLICKER")));
                else if (!extra.empty()) {
                    h.printers.detach(extra.back());
                    extra.pop_back();
                }
            }
            for (int id : extra)
                h.printers.detach(id);
        });
        for (int i = 0; i < 200; ++i) {
            form.WndProc(kWmDeviceChange, kDbtDevNodesChanged);
            QCOMPARE(form.gUSBPnPDetected, 0);
        }
        stop = true;
        storm.join();
        h.deliverNotices();
        form.WndProc(kWmDeviceChange, kDbtDevNodesChanged);
        QCOMPARE(h.listEntries(), QStringList({ QStringLiteral("ZELTAN QXR3303[SN#:STAY]") }));
    }

    void stormOfNoticesDuringARun()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("A"));
        h.printers.attach(h.printer("B"));
        Form1 &form = h.start();
        h.tick(1);
        const QStringList listBefore = h.listEntries();
        h.onStatus = [&h, &form](const WorkflowHarness::StatusChange &) {
            for (int i = 0; i < 5; ++i) {
                const int id = h.printers.attach(h.printer("NOISE"));
                form.WndProc(kWmDeviceChange, kDbtDevNodesChanged);
                h.printers.detach(id);
            }
        };
        form.App_StartButton_Handler();
        h.onStatus = nullptr;
        QCOMPARE(h.listEntries(), listBefore);
        QCOMPARE(h.statuses(), QStringList({ kCompleted }));
        QCOMPARE(h.messages.back().updated, 1);
    }
};

QTEST_MAIN(FaultMatrixTest)
#include "test_fault_matrix.moc"
