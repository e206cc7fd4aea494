// The machine held through a whole run, against stand-ins for logind and the desktop portal on
// a private bus that the test starts itself (a real dbus-daemon, reached as the system bus and
// as the session bus through DBUS_SYSTEM_BUS_ADDRESS and DBUS_SESSION_BUS_ADDRESS). libdbus
// reads those addresses once per process, so each names a link to the daemon's socket that a
// row removes to take that bus away.
//
// The stand-in logind answers org.freedesktop.login1.Manager.Inhibit as logind does: with the
// write end of a pipe, which it keeps the read end of, so that it sees the lock released when
// the last copy of that descriptor is closed; and, like systemd's polkit policy, it refuses a
// call whole when it refuses any one kind of lock in it. The stand-in portal answers
// org.freedesktop.portal.Inhibit.Inhibit as xdg-desktop-portal does: with the handle of a
// Request at /org/freedesktop/portal/desktop/request/SENDER/TOKEN, then that request's
// Response sent to the caller alone (0: the desktop took it, 2: it did not); the inhibition
// lasts until Request.Close, which it takes only from the caller, or until the caller leaves
// the bus.
#include "harness.h"

#include "ui/tool_style.h"
#include "workflow/desktop_hold.h"
#include "workflow/print_system.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

const QString kStandIns = QStringLiteral("stand-ins");
// How long the stand-ins take to answer: a row whose answers must come after START has stopped
// waiting makes them slow, since a bus on this machine may answer within the bound's last
// millisecond.
std::atomic<int> gAnswerDelayMs { 0 };

struct InhibitCall {
    QString what, who, why, mode;
    int lockReadEnd = -1; // -1: refused
};

class StandInLogind : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~StandInLogind() override
    {
        for (const InhibitCall &call : calls_)
            ::close(call.lockReadEnd);
    }

    void refuse(const char *what)
    {
        QMutexLocker guard(&mutex_);
        refused_ = QString::fromLatin1(what);
    }

    std::vector<InhibitCall> calls() const
    {
        QMutexLocker lock(&mutex_);
        return calls_;
    }

    // Whether the lock of call `index` is still held by someone: its pipe has a writer left.
    bool lockHeld(std::size_t index) const
    {
        pollfd watch { calls().at(index).lockReadEnd, POLLIN, 0 };
        return watch.fd >= 0 && ::poll(&watch, 1, 0) == 0;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(
        const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        QThread::msleep(gAnswerDelayMs);
        QMutexLocker guard(&mutex_);
        calls_.push_back({ what, who, why, mode });
        if (what.split(u':').contains(refused_)) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Access denied"));
            return {};
        }
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return {};
        QDBusUnixFileDescriptor lock(ends[1]); // a copy of its own
        ::close(ends[1]);
        calls_.back().lockReadEnd = ends[0];
        return lock;
    }

private:
    mutable QMutex mutex_;
    QString refused_;
    std::vector<InhibitCall> calls_;
};

// systemd's manager, as far as the print-system query asks it: GetUnit answers the path of a
// loaded unit, and systemd's own NoSuchUnit error for one it has not loaded.
class StandInUnit : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.systemd1.Unit")
    Q_PROPERTY(QString ActiveState MEMBER activeState)

public:
    QString activeState;
};

class StandInSystemd : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.systemd1.Manager")

public:
    StandInUnit ippUsb;
    bool ippUsbLoaded = false;

public slots:
    QDBusObjectPath GetUnit(const QString &name)
    {
        if (name == QLatin1String("ipp-usb.service") && ippUsbLoaded)
            return QDBusObjectPath(
                QStringLiteral("/org/freedesktop/systemd1/unit/ipp_2dusb_2eservice"));
        sendErrorReply(QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
            QStringLiteral("Unit %1 not loaded.").arg(name));
        return {};
    }
};

struct PortalRequest {
    QString sender, path;
    uint flags = 0;
    QVariantMap options;
    bool refused = false;
    bool closed = false;
};

// The Request objects of every call, told apart by the path they are called on.
class StandInRequests : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

public:
    std::vector<PortalRequest> all() const
    {
        QMutexLocker guard(&mutex_);
        return requests_;
    }
    bool held(std::size_t index) const
    {
        const PortalRequest request = all().at(index);
        return !request.refused && !request.closed
            && QDBusConnection(kStandIns).interface()->isServiceRegistered(request.sender);
    }
    void add(const PortalRequest &request)
    {
        QMutexLocker guard(&mutex_);
        requests_.push_back(request);
    }

public slots:
    void Close()
    {
        QMutexLocker guard(&mutex_);
        for (PortalRequest &request : requests_) {
            if (request.path != message().path())
                continue;
            if (request.sender == message().service())
                request.closed = true;
            else
                sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Unmatched caller"));
        }
    }

private:
    mutable QMutex mutex_;
    std::vector<PortalRequest> requests_;
};

class StandInPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")

public:
    StandInRequests requests;
    std::atomic<uint> response { 0 };

public slots:
    QDBusObjectPath Inhibit(const QString &, uint flags, const QVariantMap &options)
    {
        QThread::msleep(gAnswerDelayMs);
        const QString sender = message().service();
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(sender.mid(1).replace(u'.', u'_'),
                                     options.value(QStringLiteral("handle_token")).toString());
        const uint answer = response;
        requests.add({ sender, path, flags, options, answer != 0 });
        connection().registerObject(path, &requests, QDBusConnection::ExportAllSlots);
        // The handle first, the desktop's answer after it.
        setDelayedReply(true);
        connection().send(message().createReply(QVariant::fromValue(QDBusObjectPath(path))));
        connection().send(
            QDBusMessage::createTargetedSignal(sender, path,
                QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"))
            << answer << QVariantMap());
        return {};
    }
};

enum class Bus { WithLogind, WithoutLogind, None };
enum class Portal { Grants, Refuses, Missing, NoSessionBus };

struct Case {
    const char *name;
    Bus bus;
    Portal portal;
    const char *refused; // the one kind of lock logind refuses
    std::vector<std::function<void(vornik::sim::PrinterConfig &)>> printers;
    int language = 0; // index of the window's language
    const char *missingText = nullptr; // a text whose lookup fails mid-run
    int ticked = -1; // rows ticked from the top; -1: all
    int lastMessageType = 3;
    QString why;
    QString held; // the report's "Held awake:"
    QString notHeld; // the start of its "Not held:"
    QString windowLine; // RunHoldWarningLabel during the run; empty: hidden
    int boundMs = -1; // how long START waits for the buses; -1: the product's own
};

void Well(vornik::sim::PrinterConfig &)
{ }

const std::vector<Case> &Cases()
{
    static const QString english = QStringLiteral("Printer firmware is being updated");
    static const QString all
        = QStringLiteral("sleep, shutdown, idle, lid switch (logind); log-off (desktop portal)");
    static const QString logind = QStringLiteral("sleep, shutdown, idle, lid switch (logind)");
    static const QString portal = QStringLiteral("log-off (desktop portal)");
    static const QString noPortal = QStringLiteral("log-off (desktop portal: ");
    static const std::vector<Case> cases = {
        { "all updated", Bus::WithLogind, Portal::Grants, nullptr, { Well, Well }, 0, nullptr, -1,
            3, english, all, "-", {} },
        { "failures, idle refused", Bus::WithLogind, Portal::Grants, "idle",
            { Well, [](vornik::sim::PrinterConfig &c) { c.leaveBusAfterMs = -1; },
                [](vornik::sim::PrinterConfig &c) { c.storeTimeMs = -1; } },
            0, nullptr, -1, 3, english, "sleep, shutdown, lid switch (logind); " + portal,
            "idle (logind: Access denied)", "Not blocked: sleep" },
        { "a failure message mid-run", Bus::WithLogind, Portal::Grants, nullptr, { Well }, 0,
            "StrRes_StatusSettingFlashMode", -1, 1, english, all, "-", {} },
        // The longest line of one part in each language fits its cell.
        { "shutdown refused, the window in German", Bus::WithLogind, Portal::Grants, "shutdown",
            { Well }, 1, nullptr, -1, 3, QStringLiteral("Die Drucker-Firmware wird aktualisiert"),
            "sleep, idle, lid switch (logind); " + portal, "shutdown (logind: Access denied)",
            "Nicht blockiert: Herunterfahren" },
        { "no portal, the window in Spanish", Bus::WithLogind, Portal::Missing, nullptr, { Well },
            2, nullptr, -1, 3, QStringLiteral("Se está actualizando el firmware de las impresoras"),
            logind, noPortal, QStringLiteral("Sin bloqueo: cierre de sesión") },
        { "the desktop refuses, the window in French", Bus::WithLogind, Portal::Refuses, nullptr,
            { Well }, 3, nullptr, -1, 3,
            QStringLiteral("Mise à jour du firmware des imprimantes en cours"), logind,
            "log-off (desktop portal: the desktop refused it (response 2))",
            QStringLiteral("Pas de blocage\u00a0: déconnexion") },
        { "lid switch refused, no session bus", Bus::WithLogind, Portal::NoSessionBus,
            "handle-lid-switch", { Well }, 0, nullptr, -1, 3, english,
            "sleep, shutdown, idle (logind)",
            "lid switch (logind: Access denied); log-off (desktop portal: no session bus: ",
            "Not blocked: sleep, log-off" },
        { "answers later than START waits", Bus::WithLogind, Portal::Grants, nullptr, { Well }, 0,
            nullptr, -1, 3, english, "-",
            "sleep, shutdown, idle, lid switch (logind: no answer within 0 ms); log-off (desktop "
            "portal: no answer within 0 ms)",
            "Not blocked: sleep, shutdown, log-off", 0 },
        { "nothing ticked: no run, no hold", Bus::WithLogind, Portal::Grants, nullptr, { Well }, 0,
            nullptr, 0, 1, {}, {}, {}, {} },
        { "a bus without logind", Bus::WithoutLogind, Portal::Grants, nullptr, { Well }, 0, nullptr,
            -1, 3, english, portal,
            "sleep, shutdown, idle, lid switch (logind: ", "Not blocked: sleep, shutdown" },
        { "no bus at all", Bus::None, Portal::NoSessionBus, nullptr, { Well }, 0, nullptr, -1, 3,
            english, "-", "sleep, shutdown, idle, lid switch (logind: no system bus: ",
            "Not blocked: sleep, shutdown, log-off" },
    };
    return cases;
}

// Wrapped where it must be, but nothing cut; and all of it in the tooltip.
bool Fits(QLabel *label)
{
    const auto *line = static_cast<tool_style::ElidedLabel *>(label);
    return line->shownText().remove(u'\n').remove(u' ') == line->text().remove(u' ')
        && line->toolTip() == line->text();
}

const QStringList kLockKinds { "sleep", "shutdown", "idle", "handle-lid-switch" };

} // namespace

class RunHoldTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(folder_.isValid(), "no temporary folder");
        const QString socket = folder_.filePath(QStringLiteral("bus"));
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({ QStringLiteral("--session"), QStringLiteral("--nofork"),
            QStringLiteral("--nopidfile"), QStringLiteral("--print-address"),
            QStringLiteral("--address=unix:path=") + socket });
        daemon_.start();
        QVERIFY2(daemon_.waitForStarted(),
            "dbus-daemon does not start (scripts/install-deps.sh installs it)");
        QVERIFY(daemon_.waitForReadyRead(10000)); // the address, once it listens
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + link("system").toLocal8Bit());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + link("session").toLocal8Bit());

        for (QObject *standIn : std::initializer_list<QObject *> {
                 &logind_, &portal_, &portal_.requests, &systemd_, &systemd_.ippUsb })
            standIn->moveToThread(&standInThread_);
        standInThread_.start();
        QDBusConnection bus
            = QDBusConnection::connectToBus(QStringLiteral("unix:path=") + socket, kStandIns);
        QVERIFY2(bus.isConnected(), qPrintable(bus.lastError().message()));
        QVERIFY(bus.registerObject(
            QStringLiteral("/org/freedesktop/login1"), &logind_, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal_,
            QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/systemd1"), &systemd_,
            QDBusConnection::ExportAllSlots));
        QVERIFY(
            bus.registerObject(QStringLiteral("/org/freedesktop/systemd1/unit/ipp_2dusb_2eservice"),
                &systemd_.ippUsb, QDBusConnection::ExportAllProperties));
    }

    // The notice of printers another program took names ipp-usb only while systemd says its
    // service runs; a machine without systemd on its bus, or without a bus, names none.
    void namesIppUsbOnlyWhileItsServiceRuns_data()
    {
        QTest::addColumn<bool>("systemd");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("named");
        QTest::newRow("running") << true << true << "active"
                                 << "ipp-usb";
        QTest::newRow("starting") << true << true << "activating"
                                  << "ipp-usb";
        QTest::newRow("stopped") << true << true << "inactive"
                                 << "";
        QTest::newRow("failed") << true << true << "failed"
                                << "";
        QTest::newRow("never loaded") << true << false << ""
                                      << "";
        QTest::newRow("no systemd on the bus") << false << true << "active"
                                               << "";
    }

    void namesIppUsbOnlyWhileItsServiceRuns()
    {
        QFETCH(bool, systemd);
        QFETCH(bool, loaded);
        QFETCH(QString, state);
        QFETCH(QString, named);
        linkBus("system", true);
        QDBusConnection bus(kStandIns);
        offer(bus, systemd, QStringLiteral("org.freedesktop.systemd1"));
        QMetaObject::invokeMethod(
            &systemd_,
            [&] {
                systemd_.ippUsbLoaded = loaded;
                systemd_.ippUsb.activeState = state;
            },
            Qt::BlockingQueuedConnection);
        QCOMPARE(ProgramHoldingPrinters(), named);
        offer(bus, false, QStringLiteral("org.freedesktop.systemd1"));
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(kStandIns);
        standInThread_.quit();
        standInThread_.wait();
        daemon_.terminate();
        daemon_.waitForFinished();
    }

    void holdsFromStartToTheLastMessage_data() { AddIndexRows(Cases()); }

    void holdsFromStartToTheLastMessage()
    {
        QFETCH(int, index);
        const Case &c = Cases()[index];
        QDBusConnection bus(kStandIns);
        offer(bus, c.bus == Bus::WithLogind, QStringLiteral("org.freedesktop.login1"));
        offer(bus, c.portal == Portal::Grants || c.portal == Portal::Refuses,
            QStringLiteral("org.freedesktop.portal.Desktop"));
        linkBus("system", c.bus != Bus::None);
        linkBus("session", c.portal != Portal::NoSessionBus);
        logind_.refuse(c.refused);
        portal_.response = c.portal == Portal::Refuses ? 2 : 0;
        std::optional<DesktopHold> quick;
        const auto restore = qScopeGuard(
            [before = vornik::CurrentPlatform().session] { vornik::InstallSessionHold(before); });
        gAnswerDelayMs = c.boundMs >= 0 ? 300 : 0;
        if (c.boundMs >= 0) {
            quick.emplace(std::chrono::milliseconds(c.boundMs));
            vornik::InstallSessionHold(&*quick);
        }

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
        const std::size_t locksBefore = logind_.calls().size();
        const std::size_t requestsBefore = portal_.requests.all().size();
        // Everything granted, and only that, is held when the run's last message shows.
        bool heldAtLastMessage = false;
        QString lineAtLastMessage;
        bool lineFits = false;
        h.onMessage = [&](const RecordedMessage &) {
            heldAtLastMessage = allHeldSince(locksBefore, requestsBefore, true);
            QLabel *line = form.RunHoldWarningLabel;
            lineAtLastMessage = line->isVisible() ? line->text() : QString();
            lineFits = Fits(line);
        };

        // The run goes on with what it got, and says once what it did not get.
        const QRegularExpression notHeld(QStringLiteral("not held during this update"));
        if (c.notHeld != QLatin1String("-") && ticked > 0)
            QTest::ignoreMessage(QtWarningMsg, notHeld);
        QTest::failOnWarning(notHeld);
        form.App_StartButton_Handler();

        QVERIFY(!h.messages.empty());
        QCOMPARE(h.messages.back().type, c.lastMessageType);
        if (ticked == 0) {
            QCOMPARE(logind_.calls().size(), locksBefore);
            QCOMPARE(portal_.requests.all().size(), requestsBefore);
            return;
        }
        QCOMPARE(lineAtLastMessage, c.windowLine);
        if (!c.windowLine.isEmpty())
            QVERIFY2(lineFits, "the line is cut short in its cell");
        QVERIFY(form.RunHoldWarningLabel->isHidden());
        const QStringList report = form.App_RunReport().split(u'\n');
        QVERIFY(report.contains(QStringLiteral("Held awake: ") + c.held));
        QVERIFY2(!report
                      .filter(QRegularExpression(
                          QStringLiteral("^Not held: ") + QRegularExpression::escape(c.notHeld)))
                      .isEmpty(),
            qPrintable(report.join(u'\n')));

        // A late answer is still let go once it comes (closed, or its connection gone).
        if (c.boundMs >= 0) {
            QTRY_COMPARE(logind_.calls().size(), locksBefore + kLockKinds.size());
            QTRY_COMPARE(portal_.requests.all().size(), requestsBefore + 1);
            QTRY_VERIFY(!allHeldSince(locksBefore, requestsBefore, false));
            return;
        }
        const auto calls = logind_.calls();
        QCOMPARE(calls.size(), locksBefore + (c.bus == Bus::WithLogind ? kLockKinds.size() : 0));
        for (std::size_t i = locksBefore; i < calls.size(); ++i) {
            QCOMPARE(calls[i].what, kLockKinds[int(i - locksBefore)]);
            QCOMPARE(calls[i].who, form.buildTexts().caption());
            QCOMPARE(calls[i].why, c.why);
            QCOMPARE(calls[i].mode, QStringLiteral("block"));
            QCOMPARE(calls[i].lockReadEnd < 0, calls[i].what == QLatin1String(c.refused));
        }
        const auto requests = portal_.requests.all();
        const bool asked = c.portal == Portal::Grants || c.portal == Portal::Refuses;
        QCOMPARE(requests.size(), requestsBefore + (asked ? 1 : 0));
        if (asked) {
            QCOMPARE(requests.back().flags, 1u); // log-off
            QCOMPARE(requests.back().options.value(QStringLiteral("reason")).toString(), c.why);
            QCOMPARE(requests.back().closed, c.portal == Portal::Grants);
        }
        QVERIFY2(heldAtLastMessage, "a part of the hold was gone before the run's last message");
        // Copies of the write ends ride in the bus's messages and close on its threads, possibly
        // a moment after the run has ended; a lock the run kept would still be held a second on.
        QTRY_VERIFY2_WITH_TIMEOUT(
            !allHeldSince(locksBefore, requestsBefore, false), "the hold outlived the run", 1000);
    }

private:
    QString link(const char *name) const { return folder_.filePath(QLatin1String(name)); }

    // The bus at `name` leads to the daemon, or nowhere.
    void linkBus(const char *name, bool on)
    {
        QFile::remove(link(name));
        if (on)
            QVERIFY(QFile::link(folder_.filePath(QStringLiteral("bus")), link(name)));
    }

    static void offer(QDBusConnection &bus, bool on, const QString &service)
    {
        if (on)
            QVERIFY(bus.registerService(service));
        else
            bus.unregisterService(service);
    }

    // `all`: every lock and request granted since the counts is still held; otherwise any.
    bool allHeldSince(std::size_t locks, std::size_t requests, bool all) const
    {
        bool every = true, some = false;
        const auto calls = logind_.calls();
        for (std::size_t i = locks; i < calls.size(); ++i) {
            if (calls[i].lockReadEnd < 0)
                continue;
            const bool held = logind_.lockHeld(i);
            every = every && held;
            some = some || held;
        }
        const auto asked = portal_.requests.all();
        for (std::size_t i = requests; i < asked.size(); ++i) {
            if (asked[i].refused)
                continue;
            const bool held = portal_.requests.held(i);
            every = every && held;
            some = some || held;
        }
        return all ? every : some;
    }

    QTemporaryDir folder_;
    QProcess daemon_;
    QThread standInThread_;
    StandInLogind logind_;
    StandInPortal portal_;
    StandInSystemd systemd_;
};

QTEST_MAIN(RunHoldTest)
#include "test_run_hold.moc"
