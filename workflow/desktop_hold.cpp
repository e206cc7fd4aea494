#include "workflow/desktop_hold.h"
#include "workflow/errand.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTimer>
#include <QUuid>
#include <QVariantMap>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct LockKind {
    const char *what; // logind's name of the lock
    const char *name; // the report's
    unsigned concerns;
};

// Everything the operator's session could do to the machine during a run: suspend, power off,
// let the idle action act, or act on the lid. Each is asked for in a call of its own: logind
// refuses a call whole when its policy refuses any one kind in it, and systemd's default policy
// grants some kinds only to an active local session.
constexpr LockKind kLockKinds[] = {
    { "sleep", "sleep", vornik::kHoldConcernSleep },
    { "shutdown", "shutdown", vornik::kHoldConcernShutdown },
    { "idle", "idle", vornik::kHoldConcernSleep },
    { "handle-lid-switch", "lid switch", vornik::kHoldConcernSleep },
};

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalRequest = QStringLiteral("org.freedesktop.portal.Request");
constexpr unsigned kPortalLogout = 1; // the Inhibit portal's flag for logging out

// Newer portals send a Response once the desktop has acted on an Inhibit, 0 when it took it;
// older ones send none. Without one by then, the request is taken as granted.
constexpr milliseconds kPortalAnswerWait { 1000 };
// Closing the portal's request at the end of the run.
constexpr milliseconds kCloseBound { 2000 };

// At least 1: a timeout of 0 would mean the bus's default.
int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 1, 3600000));
}

// A connection of its own, opened afresh for each run: the shared bus connection would remember
// a bus that was missing once for the rest of the process.
QString FreshConnectionName(const char *bus)
{
    return QStringLiteral("vornik-run-hold-%1-%2")
        .arg(QLatin1String(bus), QUuid::createUuid().toString(QUuid::WithoutBraces));
}

QString NoAnswer(milliseconds bound)
{
    return QStringLiteral("no answer within %1 ms").arg(bound.count());
}

struct LogindAnswer {
    std::vector<int> locks;
    std::vector<vornik::HoldPart> parts;
};

void CloseLocks(std::vector<int> &locks)
{
    for (int lock : locks)
        ::close(lock);
    locks.clear();
}

// The descriptor of a lock that logind granted in `reply`, or -1 with the cause in `whyNot`.
int TakeLock(const QDBusMessage &reply, std::string &whyNot)
{
    const QVariantList answer = reply.arguments();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        whyNot = reply.errorMessage().toStdString();
        return -1;
    }
    int lock = -1;
    if (reply.type() == QDBusMessage::ReplyMessage && answer.size() == 1
        && answer.first().canConvert<QDBusUnixFileDescriptor>()) {
        const auto descriptor = answer.first().value<QDBusUnixFileDescriptor>();
        // The reply's copy closes with it; ours must outlive the call.
        if (descriptor.isValid())
            lock = fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    }
    if (lock < 0)
        whyNot = "answered without a lock";
    return lock;
}

LogindAnswer AskLogind(const QString &who, const QString &why, Clock::time_point deadline)
{
    LogindAnswer answer;
    const QString name = FreshConnectionName("system");
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
        const std::string noBus = bus.isConnected()
            ? std::string()
            : "no system bus: " + bus.lastError().message().toStdString();
        for (const LockKind &kind : kLockKinds) {
            vornik::HoldPart part { kind.name, "logind", kind.concerns, false, noBus };
            if (noBus.empty()) {
                QDBusMessage call = QDBusMessage::createMethodCall(
                    QStringLiteral("org.freedesktop.login1"),
                    QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
                call << QString::fromLatin1(kind.what) << who << why << QStringLiteral("block");
                const int lock
                    = TakeLock(bus.call(call, QDBus::Block, MsLeft(deadline)), part.whyNot);
                if (lock >= 0) {
                    answer.locks.push_back(lock);
                    part.held = true;
                }
            }
            answer.parts.push_back(std::move(part));
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return answer;
}

struct PortalAnswer {
    QString bus; // the connection that made the request, kept while it is held
    QString request;
    vornik::HoldPart part { "log-off", "desktop portal", vornik::kHoldConcernLogOff, false, {} };
};

void ClosePortalRequest(const QString &busName, const QString &request)
{
    {
        QDBusConnection bus(busName);
        if (!request.isEmpty())
            bus.call(QDBusMessage::createMethodCall(
                         kPortalService, request, kPortalRequest, QStringLiteral("Close")),
                QDBus::Block, int(kCloseBound.count()));
    }
    QDBusConnection::disconnectFromBus(busName);
}

} // namespace

// The portal's Response to one request, caught on the thread that asked.
class PortalResponse : public QObject {
    Q_OBJECT

public:
    std::optional<uint> code;

public slots:
    void Response(uint response, const QVariantMap &)
    {
        code = response;
        emit came();
    }

signals:
    void came();
};

namespace {

PortalAnswer AskPortal(const QString &window, const QString &why, Clock::time_point deadline)
{
    PortalAnswer answer;
    const QString name = FreshConnectionName("session");
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    if (!bus.isConnected()) {
        answer.part.whyNot = "no session bus: " + bus.lastError().message().toStdString();
        QDBusConnection::disconnectFromBus(name);
        return answer;
    }
    // Listened for before asking, on the handle the portal makes of our token, so that an
    // answer sent at once is not missed (the Request interface's documentation).
    const QString token
        = QStringLiteral("vornik%1").arg(QRandomGenerator::system()->generate64(), 0, 16);
    const QString expected = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(bus.baseService().mid(1).replace(u'.', u'_'), token);
    PortalResponse response;
    const auto listen = [&](const QString &path) {
        bus.connect(kPortalService, path, kPortalRequest, QStringLiteral("Response"), &response,
            SLOT(Response(uint, QVariantMap)));
    };
    listen(expected);
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService,
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    call << window << uint(kPortalLogout)
         << QVariantMap { { QStringLiteral("handle_token"), token },
                { QStringLiteral("reason"), why } };
    const QDBusMessage reply = bus.call(call, QDBus::Block, MsLeft(deadline));
    const QVariantList arguments = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || arguments.size() != 1
        || arguments.first().userType() != qMetaTypeId<QDBusObjectPath>()) {
        answer.part.whyNot = reply.type() == QDBusMessage::ErrorMessage
            ? reply.errorMessage().toStdString()
            : "answered without a request";
        QDBusConnection::disconnectFromBus(name);
        return answer;
    }
    answer.bus = name;
    answer.request = arguments.first().value<QDBusObjectPath>().path();
    if (answer.request != expected)
        listen(answer.request); // a portal older than handle tokens
    if (!response.code) {
        QEventLoop wait;
        QObject::connect(&response, &PortalResponse::came, &wait, &QEventLoop::quit);
        QTimer::singleShot(
            std::min(int(kPortalAnswerWait.count()), MsLeft(deadline)), &wait, &QEventLoop::quit);
        wait.exec();
    }
    if (response.code.value_or(0) != 0) {
        // The desktop did not take it; the request is over already.
        answer.part.whyNot
            = "the desktop refused it (response " + std::to_string(*response.code) + ")";
        answer.bus.clear();
        answer.request.clear();
        QDBusConnection::disconnectFromBus(name);
        return answer;
    }
    answer.part.held = true;
    return answer;
}

// The portal's name for `window`. Only an X11 window has one without more ado (Wayland's needs
// an exported handle); for any other the request names no window.
QString PortalWindow(std::intptr_t window)
{
    if (window == 0 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    return QStringLiteral("x11:") + QString::number(quint64(window), 16);
}

} // namespace

std::vector<vornik::HoldPart> DesktopHold::hold(
    std::intptr_t window, const std::u16string &who, const std::u16string &reason)
{
    release();
    // Both buses at once, so that a hung one does not keep the other from being asked; START
    // waits for the two together only until the bound.
    const Clock::time_point deadline = Clock::now() + bound_;
    const QString whoText = QString::fromStdU16String(who);
    const QString why = QString::fromStdU16String(reason);
    const QString portalWindow = PortalWindow(window);
    vornik::Errand<LogindAnswer> logind([=] { return AskLogind(whoText, why, deadline); },
        [](LogindAnswer &late) { CloseLocks(late.locks); });
    vornik::Errand<PortalAnswer> portal([=] { return AskPortal(portalWindow, why, deadline); },
        [](PortalAnswer &late) {
            if (!late.bus.isEmpty())
                ClosePortalRequest(late.bus, late.request);
        });

    std::vector<vornik::HoldPart> parts;
    if (std::optional<LogindAnswer> answer = logind.awaitUntil(deadline)) {
        locks_ = std::move(answer->locks);
        parts = std::move(answer->parts);
    } else {
        for (const LockKind &kind : kLockKinds)
            parts.push_back(
                { kind.name, "logind", kind.concerns, false, NoAnswer(bound_).toStdString() });
    }
    if (std::optional<PortalAnswer> answer = portal.awaitUntil(deadline)) {
        portalBus_ = answer->bus;
        portalRequest_ = answer->request;
        parts.push_back(answer->part);
    } else {
        PortalAnswer none;
        none.part.whyNot = NoAnswer(bound_).toStdString();
        parts.push_back(none.part);
    }
    return parts;
}

void DesktopHold::release()
{
    CloseLocks(locks_);
    if (!portalBus_.isEmpty()) {
        // Off this thread like the asking: Qt connects every bus on one thread of its own, so a
        // connection that hangs there holds up this call too.
        vornik::Errand<bool> close(
            [bus = portalBus_, request = portalRequest_] {
                ClosePortalRequest(bus, request);
                return true;
            },
            [](bool &) {});
        close.awaitUntil(Clock::now() + kCloseBound);
    }
    portalBus_.clear();
    portalRequest_.clear();
}

void InstallDesktopSessionHold()
{
    static DesktopHold desktop;
    if (!vornik::CurrentPlatform().session)
        vornik::InstallSessionHold(&desktop);
}

#include "desktop_hold.moc"
