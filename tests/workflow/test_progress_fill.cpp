// The fill behind a printer's status row: bytes the printer accepted while its image streams,
// time waited while it stores the image. It may only grow, it is full exactly when the image
// was delivered, and the status texts in front of it stay what they were.
#include "harness.h"

#include "ui/accessibility_recorder.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <functional>
#include <set>

namespace {

struct Sample {
    QString text;
    StatusFill kind;
    quint64 done;
    quint64 total;
    QString toolTip;
};

// Every text and every fill that row 0 of the status list takes, in order.
class RowWatcher : public QObject {
public:
    explicit RowWatcher(QListWidget *list)
        : list_(list)
    {
        // A fill comes with its tooltip set just before it; a sample is the pair.
        connect(list->model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                if (roles.isEmpty() || roles.contains(kStatusFillRole))
                    take();
            });
        connect(list->model(), &QAbstractItemModel::rowsInserted, this, [this] { take(); });
    }

    std::vector<Sample> samples;

    std::vector<Sample> of(StatusFill kind) const
    {
        std::vector<Sample> picked;
        for (const Sample &sample : samples)
            if (sample.kind == kind)
                picked.push_back(sample);
        return picked;
    }
    QStringList texts() const
    {
        QStringList seen;
        for (const Sample &sample : samples)
            if (seen.isEmpty() || seen.last() != sample.text)
                seen << sample.text;
        return seen;
    }

private:
    void take()
    {
        const QListWidgetItem *line = list_->item(0);
        if (!line)
            return;
        const auto fill = line->data(kStatusFillRole).value<StatusFillValue>();
        samples.push_back({ line->text(), fill.kind, fill.done, fill.total, line->toolTip() });
    }

    QListWidget *list_;
};

// The virtual clock, except that a worker's 10-second sleep also takes a little real time, so
// that the window can be watched while a worker waits.
class UnhurriedClock : public vornik::Clock {
public:
    explicit UnhurriedClock(vornik::sim::VirtualClock &inner)
        : inner_(inner)
    { }
    std::uint32_t tickCount() override { return inner_.tickCount(); }
    void sleep(std::uint32_t milliseconds) override
    {
        inner_.sleep(milliseconds);
        if (milliseconds >= 10000)
            QThread::msleep(40);
    }

private:
    vornik::sim::VirtualClock &inner_;
};

bool nonDecreasing(const std::vector<Sample> &samples)
{
    for (std::size_t i = 1; i < samples.size(); ++i)
        if (samples[i].done < samples[i - 1].done)
            return false;
    return true;
}

// The colour of row 0 near its top edge (above the text) at `share` of its width.
QColor rowColourAt(QListWidget *list, double share)
{
    const QRect row = list->visualItemRect(list->item(0));
    const QImage picture = list->viewport()->grab().toImage();
    return picture.pixelColor(row.left() + int(row.width() * share), row.top() + 1);
}

// The tenth a fill description stands for: "40 %" and "1:16 / 3:10" are both 4.
int Tenth(const QString &description, quint64 total)
{
    if (description.endsWith(QLatin1String(" %")))
        return description.chopped(2).toInt() / 10;
    const QString waited = description.section(QLatin1Char(' '), 0, 0);
    const int seconds = waited.section(u':', 0, 0).toInt() * 60 + waited.section(u':', 1).toInt();
    return int(quint64(seconds) * 1000 * 10 / total);
}

// What assistive technology heard of row 0: each new text, and the fill described in tenths,
// one event per tenth and none in between.
QStringList HeardTexts(const AccessibilityRecorder &heard)
{
    return heard.said(QAccessible::NameChanged, QStringLiteral("FDUStatusListBox"), 0);
}
std::vector<int> HeardTenths(const AccessibilityRecorder &heard, const QString &unit, quint64 total)
{
    std::vector<int> tenths;
    for (const QString &description :
        heard.said(QAccessible::DescriptionChanged, QStringLiteral("FDUStatusListBox"), 0, true))
        if (description.endsWith(unit))
            tenths.push_back(Tenth(description, total));
    return tenths;
}

// Eleven blocks, the last one short.
constexpr std::uint32_t kImageBytes = 10 * 64 * 1024 + 1234;

} // namespace

class ProgressFillTest : public QObject {
    Q_OBJECT

private slots:
    void transferFill_data()
    {
        QTest::addColumn<std::int64_t>("failWriteAfter");
        QTest::addColumn<std::int64_t>("detachAfter");
        QTest::addColumn<QStringList>("texts");
        const QStringList delivered { kIdle, kSetting, kFlashMode, kSending, kStoring, kCompleted };
        const QStringList failed { kIdle, kSetting, kFlashMode, kSending, kFlashingTimeout,
            kNotFound };
        QTest::newRow("image delivered") << std::int64_t(-1) << std::int64_t(-1) << delivered;
        QTest::newRow("writes fail halfway")
            << std::int64_t(kImageBytes / 2) << std::int64_t(-1) << failed;
        QTest::newRow("cable pulled at three quarters")
            << std::int64_t(-1) << std::int64_t(kImageBytes * 3 / 4) << failed;
        QTest::newRow("last block refused")
            << std::int64_t(kImageBytes - 1) << std::int64_t(-1) << failed;
    }

    void transferFill()
    {
        QFETCH(std::int64_t, failWriteAfter);
        QFETCH(std::int64_t, detachAfter);
        QFETCH(QStringList, texts);
        const bool delivered = failWriteAfter < 0 && detachAfter < 0;

        WorkflowHarness h(kImageBytes);
        auto config = h.printer("S1");
        config.failWriteAfterBytes = failWriteAfter;
        config.detachAfterBytes = detachAfter;
        h.printers.attach(config);
        Form1 &form = h.start();
        h.tick(0);
        RowWatcher row(form.FDUStatusListBox);
        AccessibilityRecorder heard;
        bool fullWhenStored = false;
        h.onStatus = [&](const WorkflowHarness::StatusChange &change) {
            if (change.text != kStoring)
                return;
            const auto fill
                = form.FDUStatusListBox->item(0)->data(kStatusFillRole).value<StatusFillValue>();
            fullWhenStored = fill.kind == StatusFill::Transfer && fill.done == kImageBytes
                && fill.total == kImageBytes;
        };

        QTest::mouseClick(form.StartButton, Qt::LeftButton);

        QCOMPARE(row.texts(), texts);
        const auto transfer = row.of(StatusFill::Transfer);
        QVERIFY(!transfer.empty());
        QVERIFY(nonDecreasing(transfer));
        bool full = false;
        for (const Sample &sample : transfer) {
            QCOMPARE(sample.total, quint64(kImageBytes));
            QVERIFY(sample.done > 0 && sample.done <= sample.total);
            QVERIFY(sample.toolTip.contains(QLatin1String(" / 641.2 KiB")));
            full |= sample.done == sample.total;
        }
        QCOMPARE(full, delivered);
        QCOMPARE(HeardTexts(heard), texts.mid(1));
        std::vector<int> everyTenth;
        for (quint64 t = 0; t <= transfer.back().done * 10 / kImageBytes; ++t)
            everyTenth.push_back(int(t));
        QCOMPARE(HeardTenths(heard, QStringLiteral(" %"), kImageBytes), everyTenth);
        if (delivered) {
            std::set<quint64> steps;
            for (const Sample &sample : transfer)
                steps.insert(sample.done);
            QCOMPARE(steps.size(), std::size_t(11)); // one step per block
            QVERIFY(fullWhenStored);
            return;
        }

        // A failed transfer keeps how far it got, marked as failed, and never looks finished.
        const Sample last = row.samples.back();
        QCOMPARE(last.kind, StatusFill::TransferFailed);
        QCOMPARE(last.done, transfer.back().done);
        QVERIFY(last.done < last.total);
        const double share = double(last.done) / double(last.total);
        QCOMPARE(rowColourAt(form.FDUStatusListBox, share / 2), QColor(255, 199, 206));
        QCOMPARE(rowColourAt(form.FDUStatusListBox, 0.999), QColor(Qt::white));
    }

    void waitFill_data()
    {
        QTest::addColumn<int>("storeTimeMs");
        QTest::addColumn<QString>("finalText");
        QTest::newRow("stores within the limit") << 60000 << kCompleted;
        QTest::newRow("never finishes") << -1 << kUpdateTimeout;
    }

    void waitFill()
    {
        QFETCH(int, storeTimeMs);
        QFETCH(QString, finalText);
        WorkflowHarness h;
        UnhurriedClock unhurried(h.clock);
        vornik::InstallPlatform(&h.printers, &unhurried);
        auto config = h.printer("S1");
        config.storeTimeMs = storeTimeMs;
        h.printers.attach(config);
        Form1 &form = h.start();
        h.tick(0);
        RowWatcher row(form.FDUStatusListBox);
        AccessibilityRecorder heard;

        QTest::mouseClick(form.StartButton, Qt::LeftButton);

        QCOMPARE(row.texts().last(), finalText);
        QCOMPARE(HeardTexts(heard).last(), finalText);
        const std::vector<int> tenths = HeardTenths(heard, QStringLiteral(" / 3:10"), 190000);
        QVERIFY(tenths.size() >= 2 && tenths.front() == 0);
        QVERIFY(std::adjacent_find(tenths.begin(), tenths.end(), std::greater_equal<int>())
            == tenths.end());
        QCOMPARE(tenths.back(), int(row.of(StatusFill::Wait).back().done * 10 / 190000));
        // Stored, the row is plain again, and says so; timed out, it stays full.
        QCOMPARE(
            heard.said(QAccessible::DescriptionChanged, QStringLiteral("FDUStatusListBox"), 0, true)
                .last()
                .isEmpty(),
            finalText == kCompleted);
        const auto waited = row.of(StatusFill::Wait);
        QVERIFY(nonDecreasing(waited));
        int between = 0;
        for (const Sample &sample : waited) {
            QCOMPARE(sample.total, quint64(190000));
            QVERIFY(sample.done <= sample.total);
            QVERIFY(sample.toolTip.endsWith(QLatin1String(" / 3:10")));
            between += sample.done > 0 && sample.done < sample.total;
        }
        QVERIFY2(between >= 3, qPrintable(QString::number(between)));

        const Sample last = row.samples.back();
        if (finalText == kCompleted) {
            // Stored: the row is plain again.
            QCOMPARE(last.kind, StatusFill::None);
            QVERIFY(waited.back().done >= 60000 && waited.back().done < 190000);
        } else {
            // Waited the whole time: full, and so is the row.
            QCOMPARE(last.kind, StatusFill::Wait);
            QCOMPARE(last.done, last.total);
            QCOMPARE(rowColourAt(form.FDUStatusListBox, 0.999), QColor(255, 235, 156));
        }
    }
};

QTEST_MAIN(ProgressFillTest)
#include "test_progress_fill.moc"
