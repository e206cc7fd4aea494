#include "workflow/run_hold.h"

#include <algorithm>

namespace {

// Neighbouring parts of the same service, and when not held for the same cause, share their
// note: "sleep, shutdown (logind: no system bus: ...)".
QString Describe(const std::vector<vornik::HoldPart> &parts, bool held)
{
    QString text;
    const vornik::HoldPart *group = nullptr;
    const auto closeGroup = [&] {
        if (!group)
            return;
        text += QStringLiteral(" (") + QString::fromStdString(group->by);
        if (!held && !group->whyNot.empty())
            text += QStringLiteral(": ") + QString::fromStdString(group->whyNot);
        text += u')';
    };
    for (const vornik::HoldPart &part : parts) {
        if (part.held != held)
            continue;
        const bool sameGroup
            = group && group->by == part.by && (held || group->whyNot == part.whyNot);
        if (!sameGroup) {
            closeGroup();
            if (group)
                text += QStringLiteral("; ");
            group = &part;
        } else {
            text += QStringLiteral(", ");
        }
        text += QString::fromStdString(part.name);
    }
    closeGroup();
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

QString DescribeHeldParts(const std::vector<vornik::HoldPart> &parts)
{
    return Describe(parts, true);
}

QString DescribeUnheldParts(const std::vector<vornik::HoldPart> &parts)
{
    return Describe(parts, false);
}

unsigned UnheldConcerns(const std::vector<vornik::HoldPart> &parts)
{
    unsigned concerns = 0;
    for (const vornik::HoldPart &part : parts)
        concerns |= part.held ? 0 : part.concerns;
    return concerns;
}

RunHold::RunHold(const QString &who, const QString &why, quintptr window)
{
    if (vornik::SessionHold *session = vornik::CurrentPlatform().session) {
        parts_ = session->hold(
            static_cast<std::intptr_t>(window), who.toStdU16String(), why.toStdU16String());
    } else {
        parts_.push_back({ "sleep, shutdown, log-off", "this platform",
            vornik::kHoldConcernSleep | vornik::kHoldConcernShutdown | vornik::kHoldConcernLogOff,
            false, "offers no hold" });
    }
    if (std::any_of(parts_.begin(), parts_.end(), [](const auto &part) { return !part.held; }))
        qWarning(
            "VornikFDU: not held during this update: %s", qPrintable(DescribeUnheldParts(parts_)));
}

RunHold::~RunHold()
{
    if (vornik::SessionHold *session = vornik::CurrentPlatform().session)
        session->release();
}
