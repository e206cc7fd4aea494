#include "workflow/run_hold.h"

#include "printer_link/platform.h"

namespace {

void SayNotHeld(const QString &cause)
{
    qWarning("VornikFDU: the machine is not held awake during this update (%s)", qPrintable(cause));
}

} // namespace

RunHold::RunHold(const QString &who, const QString &why, quintptr window)
{
    vornik::SessionHold *session = vornik::CurrentPlatform().session;
    if (!session) {
        SayNotHeld(QStringLiteral("this platform offers no hold"));
        return;
    }
    if (!session->hold(
            static_cast<std::intptr_t>(window), who.toStdU16String(), why.toStdU16String()))
        SayNotHeld(QString::fromStdString(session->whyNotHeld()));
}

RunHold::~RunHold()
{
    if (vornik::SessionHold *session = vornik::CurrentPlatform().session)
        session->release();
}
