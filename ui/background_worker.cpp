#include "background_worker.h"

#include <QMetaObject>
#include <QThreadPool>

#include <exception>

BackgroundWorker::BackgroundWorker(QObject *parent)
    : QObject(parent)
{ }

void BackgroundWorker::RunWorkerAsync(int argument)
{
    if (busy_ || !body_)
        return;
    busy_ = true;
    // Read here: the name belongs to the user-interface thread.
    const QByteArray name = objectName().toUtf8();
    QThreadPool::globalInstance()->start([this, argument, name] {
        // A failure ends the body; the caller judges the outcome from the step's status, which
        // the body had no chance to set to success. The log keeps what went wrong.
        try {
            body_(argument);
        } catch (const std::exception &error) {
            qWarning("%s: %s", name.constData(), error.what());
        } catch (...) {
            qWarning("%s: stopped by an exception of unknown type", name.constData());
        }
        QMetaObject::invokeMethod(this, &BackgroundWorker::finish, Qt::QueuedConnection);
    });
}

void BackgroundWorker::finish()
{
    busy_ = false;
    emit completed();
}
