#include "workflow/print_system.h"

#ifdef VORNIK_DESKTOP_HOLD
#include "workflow/errand.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QUuid>

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// ipp-usb detaches the printer driver from every interface of a printer that offers IPP over
// USB; its udev rule starts this service for each such printer.
const QString kIppUsbUnit = QStringLiteral("ipp-usb.service");

int MsLeft(Clock::time_point deadline)
{
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 1, 60000));
}

bool UnitActive(const QString &unit, Clock::time_point deadline)
{
    // A connection of its own: the shared one would remember a bus that was missing once.
    const QString name = QStringLiteral("vornik-print-system-")
        + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool active = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
        if (bus.isConnected()) {
            const QString systemd = QStringLiteral("org.freedesktop.systemd1");
            QDBusMessage getUnit = QDBusMessage::createMethodCall(systemd,
                QStringLiteral("/org/freedesktop/systemd1"),
                QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("GetUnit"));
            getUnit << unit;
            // GetUnit, not LoadUnit: a unit systemd has not loaded is not running, and asking
            // must not load it.
            const QDBusMessage found = bus.call(getUnit, QDBus::Block, MsLeft(deadline));
            if (found.type() == QDBusMessage::ReplyMessage && found.arguments().size() == 1) {
                const QString path = found.arguments().first().value<QDBusObjectPath>().path();
                QDBusMessage get = QDBusMessage::createMethodCall(systemd, path,
                    QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
                get << QStringLiteral("org.freedesktop.systemd1.Unit")
                    << QStringLiteral("ActiveState");
                const QDBusMessage state = bus.call(get, QDBus::Block, MsLeft(deadline));
                if (state.type() == QDBusMessage::ReplyMessage && state.arguments().size() == 1) {
                    const QString value
                        = state.arguments().first().value<QDBusVariant>().variant().toString();
                    active = value == QLatin1String("active")
                        || value == QLatin1String("activating")
                        || value == QLatin1String("reloading");
                }
            }
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return active;
}

} // namespace

QString ProgramHoldingPrinters(std::chrono::milliseconds bound)
{
    const Clock::time_point deadline = Clock::now() + bound;
    vornik::Errand<bool> ask(
        [deadline] { return UnitActive(kIppUsbUnit, deadline); }, [](bool &) {});
    const std::optional<bool> active = ask.awaitUntil(deadline);
    return active && *active ? QStringLiteral("ipp-usb") : QString();
}

#else

QString ProgramHoldingPrinters(std::chrono::milliseconds)
{
    return {};
}

#endif
