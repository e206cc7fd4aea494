// The machine held awake through a whole run, against a stand-in for logind on a private bus
// that the test starts itself (a real dbus-daemon, put where the system bus would be through
// DBUS_SYSTEM_BUS_ADDRESS). The stand-in answers org.freedesktop.login1.Manager.Inhibit as
// logind does: with the write end of a pipe, which it keeps the read end of, so that it sees
// the lock released when the last copy of that descriptor is closed, as logind does.
#include "harness.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusUnixFileDescriptor>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

struct InhibitCall {
    QString what, who, why, mode;
    int lockReadEnd = -1;
};

class StandInLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~StandInLogind() override
    {
        for (const InhibitCall &call : calls_)
            ::close(call.lockReadEnd);
    }

    std::vector<InhibitCall> calls() const
    {
        QMutexLocker lock(&mutex_);
        return calls_;
    }

    // Whether the lock of call `index` is still held by someone: its pipe has a writer left
    // (after `waitMs`, for copies that others close in their own time).
    bool lockHeld(std::size_t index, int waitMs = 0) const
    {
        pollfd watch { calls().at(index).lockReadEnd, POLLIN, 0 };
        return ::poll(&watch, 1, waitMs) == 0;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(
        const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return {};
        QDBusUnixFileDescriptor lock(ends[1]); // a copy of its own
        ::close(ends[1]);
        QMutexLocker guard(&mutex_);
        calls_.push_back({ what, who, why, mode, ends[0] });
        return lock;
    }

private:
    mutable QMutex mutex_;
    std::vector<InhibitCall> calls_;
};

enum class Bus { WithLogind, WithoutLogind, None };

struct Case {
    const char *name;
    Bus bus;
    std::vector<std::function<void(vornik::sim::PrinterConfig &)>> printers;
    int language = 0; // index of the window's language
    const char *missingText = nullptr; // a text whose lookup fails mid-run
    int ticked = -1; // rows ticked from the top; -1: all
    int lastMessageType = 3;
    QString why;
};

void Well(vornik::sim::PrinterConfig &)
{ }

const std::vector<Case> &Cases()
{
    static const QString english = QStringLiteral("Printer firmware is being updated");
    static const std::vector<Case> cases = {
        { "all updated", Bus::WithLogind, { Well, Well }, 0, nullptr, -1, 3, english },
        { "failures", Bus::WithLogind,
            { Well, [](vornik::sim::PrinterConfig &c) { c.leaveBusAfterMs = -1; },
                [](vornik::sim::PrinterConfig &c) { c.storeTimeMs = -1; } },
            0, nullptr, -1, 3, english },
        { "a failure message mid-run", Bus::WithLogind, { Well }, 0,
            "StrRes_StatusSettingFlashMode", -1, 1, english },
        { "the window in German", Bus::WithLogind, { Well }, 1, nullptr, -1, 3,
            QStringLiteral("Die Drucker-Firmware wird aktualisiert") },
        { "nothing ticked: no run, no hold", Bus::WithLogind, { Well }, 0, nullptr, 0, 1, {} },
        { "a bus without logind", Bus::WithoutLogind, { Well }, 0, nullptr, -1, 3, {} },
        { "no system bus", Bus::None, { Well }, 0, nullptr, -1, 3, {} },
    };
    return cases;
}

} // namespace

class RunHoldTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(socketFolder_.isValid(), "no temporary folder");
        busAddress_ = QStringLiteral("unix:path=") + socketFolder_.path() + QStringLiteral("/bus");
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({ QStringLiteral("--session"), QStringLiteral("--nofork"),
            QStringLiteral("--nopidfile"), QStringLiteral("--print-address"),
            QStringLiteral("--address=") + busAddress_ });
        daemon_.start();
        QVERIFY2(daemon_.waitForStarted(),
            "dbus-daemon does not start (scripts/install-deps.sh installs it)");
        QVERIFY(daemon_.waitForReadyRead(10000)); // the address, once it listens
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", busAddress_.toLocal8Bit());

        standIn_.moveToThread(&standInThread_);
        standInThread_.start();
        QDBusConnection bus = QDBusConnection::connectToBus(busAddress_, QStringLiteral("logind"));
        QVERIFY2(bus.isConnected(), qPrintable(bus.lastError().message()));
        QVERIFY(bus.registerObject(
            QStringLiteral("/org/freedesktop/login1"), &standIn_, QDBusConnection::ExportAllSlots));
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
        standInThread_.quit();
        standInThread_.wait();
        daemon_.terminate();
        daemon_.waitForFinished();
    }

    void holdsFromStartToTheLastMessage_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < Cases().size(); ++i)
            QTest::newRow(Cases()[i].name) << int(i);
    }

    void holdsFromStartToTheLastMessage()
    {
        QFETCH(int, index);
        const Case &c = Cases()[index];
        QDBusConnection bus(QStringLiteral("logind"));
        const QString service = QStringLiteral("org.freedesktop.login1");
        if (c.bus == Bus::WithLogind)
            QVERIFY(bus.registerService(service));
        else
            bus.unregisterService(service);
        qputenv("DBUS_SYSTEM_BUS_ADDRESS",
            c.bus == Bus::None ? QByteArray("unix:path=/nonexistent/vornik-test-bus")
                               : busAddress_.toLocal8Bit());

        WorkflowHarness h;
        for (std::size_t i = 0; i < c.printers.size(); ++i) {
            vornik::sim::PrinterConfig config = h.printer("SN" + std::to_string(2001 + i));
            c.printers[i](config);
            h.printers.attach(config);
        }
        Form1 &form = h.start();
        form.gLanguageImageListIndex = c.language;
        form.App_ChangeLanguage(c.language);
        const int ticked = c.ticked < 0 ? int(c.printers.size()) : c.ticked;
        for (int row = 0; row < ticked; ++row)
            h.tick(row);
        if (c.missingText) {
            auto &table = form.gLangResourceManager[form.gLanguageImageListIndex];
            table = std::make_unique<TableWithoutKey>(std::move(table), c.missingText);
        }
        const std::size_t before = standIn_.calls().size();
        bool heldAtLastMessage = false;
        h.onMessage = [&](const RecordedMessage &) {
            heldAtLastMessage = standIn_.calls().size() == before + 1 && standIn_.lockHeld(before);
        };

        // The run goes on without a hold, and says once that the machine is not held.
        const bool unheld = c.bus != Bus::WithLogind && ticked > 0;
        const QRegularExpression notHeld(QStringLiteral("not held awake"));
        if (unheld)
            QTest::ignoreMessage(QtWarningMsg, notHeld);
        QTest::failOnWarning(notHeld);
        form.App_StartButton_Handler();

        QVERIFY(!h.messages.empty());
        QCOMPARE(h.messages.back().type, c.lastMessageType);
        const auto calls = standIn_.calls();
        if (c.bus != Bus::WithLogind || ticked == 0) {
            QCOMPARE(calls.size(), before);
            if (unheld)
                QCOMPARE(h.messages.back().text, form.StrRes("StrRes_AllUpdated"));
            return;
        }
        QCOMPARE(calls.size(), before + 1);
        const InhibitCall &call = calls.back();
        QCOMPARE(call.what, QStringLiteral("sleep:shutdown:idle:handle-lid-switch"));
        QCOMPARE(call.who, form.buildTexts().caption());
        QCOMPARE(call.why, c.why);
        QCOMPARE(call.mode, QStringLiteral("block"));
        QVERIFY2(heldAtLastMessage, "the lock was gone before the run's last message");
        // The bus daemon and this stand-in close their copies of the reply's lock on their own
        // threads, a moment after the window has it; the window's own copy goes with the run.
        QVERIFY2(!standIn_.lockHeld(before, 2000), "the lock outlived the run");
    }

private:
    QTemporaryDir socketFolder_;
    QString busAddress_;
    QProcess daemon_;
    QThread standInThread_;
    StandInLogind standIn_;
};

QTEST_MAIN(RunHoldTest)
#include "test_run_hold.moc"
