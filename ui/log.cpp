#include "ui/log.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

void ToStandardError(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    WriteLogLine(qFormatLogMessage(type, context, text));
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

void InstallStandardErrorLog()
{
    qInstallMessageHandler(ToStandardError);
}

void WriteLogLine(const QString &line)
{
    // UTF-8 on every system, so that a log reads the same on Linux and Windows.
    std::fprintf(stderr, "%s\n", qUtf8Printable(line));
    std::fflush(stderr);
}
