#include "workflow/run_hold.h"

#include "printer_link/platform.h"

#ifdef VORNIK_LOGIND_HOLD
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QUuid>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// One line on the standard error stream (Qt's default message handler puts warnings there).
void SayNotHeld(const QString &cause)
{
    qWarning("VornikFDU: the machine is not held awake during this update (%s)", qPrintable(cause));
}

#ifdef VORNIK_LOGIND_HOLD
// A hung logind must not hold up START for the bus's default 25 s.
constexpr int kInhibitReplyLimitMs = 5000;

// Everything the operator's session could do to the machine during a run: suspend, power
// off, let the idle timer act, or act on the lid.
constexpr char kWhat[] = "sleep:shutdown:idle:handle-lid-switch";

// The lock's descriptor, or -1 with the cause in `cause`.
int TakeInhibitorLock(const QString &who, const QString &why, QString &cause)
{
    // A connection of its own, opened afresh for each run: the shared system-bus connection
    // would remember a bus that was missing once for the rest of the process.
    const QString name = QStringLiteral("vornik-run-hold-") + QUuid::createUuid().toString();
    int lock = -1;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
        if (!bus.isConnected()) {
            cause = QStringLiteral("no system bus: ") + bus.lastError().message();
        } else {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
            call << QString::fromLatin1(kWhat) << who << why << QStringLiteral("block");
            const QDBusMessage reply = bus.call(call, QDBus::Block, kInhibitReplyLimitMs);
            const QVariantList answer = reply.arguments();
            if (reply.type() != QDBusMessage::ReplyMessage || answer.size() != 1
                || !answer.first().canConvert<QDBusUnixFileDescriptor>()) {
                cause = reply.type() == QDBusMessage::ErrorMessage
                    ? QStringLiteral("logind: ") + reply.errorMessage()
                    : QStringLiteral("logind answered without a lock");
            } else {
                const auto descriptor = answer.first().value<QDBusUnixFileDescriptor>();
                // The reply's copy closes with it; ours must outlive the call.
                if (descriptor.isValid())
                    lock = fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
                if (lock < 0)
                    cause = QStringLiteral("logind answered without a lock");
            }
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return lock;
}
#endif

} // namespace

RunHold::RunHold(const QString &who, const QString &why, quintptr window)
{
#ifdef VORNIK_LOGIND_HOLD
    (void)window;
    QString cause;
    lock_ = TakeInhibitorLock(who, why, cause);
    held_ = lock_ >= 0;
    if (!held_)
        SayNotHeld(cause);
#else
    (void)who;
    (void)lock_;
    vornik::SessionHold *session = vornik::CurrentPlatform().session;
    if (!session) {
        SayNotHeld(QStringLiteral("this platform offers no hold"));
        return;
    }
    held_ = session->hold(static_cast<std::intptr_t>(window), why.toStdU16String());
    if (!held_)
        SayNotHeld(QStringLiteral("the system refused it"));
#endif
}

RunHold::~RunHold()
{
#ifdef VORNIK_LOGIND_HOLD
    if (lock_ >= 0)
        ::close(lock_);
#else
    if (vornik::SessionHold *session = vornik::CurrentPlatform().session)
        session->release();
#endif
}
