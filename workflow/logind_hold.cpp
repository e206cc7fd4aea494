#include "workflow/logind_hold.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QString>
#include <QUuid>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A hung logind must not hold up START for the bus's default 25 s.
constexpr int kInhibitReplyLimitMs = 5000;

// Everything the operator's session could do to the machine during a run: suspend, power
// off, let the idle timer act, or act on the lid.
constexpr char kWhat[] = "sleep:shutdown:idle:handle-lid-switch";

} // namespace

bool LogindHold::hold(std::intptr_t window, const std::u16string &who, const std::u16string &reason)
{
    (void)window; // logind takes no window: the lock names the program by `who`
    release();
    // A connection of its own, opened afresh for each run: the shared system-bus connection
    // would remember a bus that was missing once for the rest of the process.
    const QString name = QStringLiteral("vornik-run-hold-") + QUuid::createUuid().toString();
    QString cause;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
        if (!bus.isConnected()) {
            cause = QStringLiteral("no system bus: ") + bus.lastError().message();
        } else {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
            call << QString::fromLatin1(kWhat) << QString::fromStdU16String(who)
                 << QString::fromStdU16String(reason) << QStringLiteral("block");
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
                    lock_ = fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
                if (lock_ < 0)
                    cause = QStringLiteral("logind answered without a lock");
            }
        }
    }
    QDBusConnection::disconnectFromBus(name);
    whyNotHeld_ = cause.toStdString();
    return lock_ >= 0;
}

void LogindHold::release()
{
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = -1;
}

void InstallDesktopSessionHold()
{
    static LogindHold logind;
    if (!vornik::CurrentPlatform().session)
        vornik::InstallSessionHold(&logind);
}
