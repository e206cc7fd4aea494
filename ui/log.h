// The program's one log: Qt's messages (qInfo, qWarning, qCritical), each a line on standard
// error on every platform. Qt's own default handler sends them to the debugger on Windows when
// the program has no console, where nobody reads them.
#pragma once

class QString;

// Makes the log write to standard error; the entries of the product and the bench call it once
// the toolkit has started. (Qt Test installs a handler of its own, so tests see every message.)
void InstallStandardErrorLog();

// One line on standard error, as the log writes it.
void WriteLogLine(const QString &line);
