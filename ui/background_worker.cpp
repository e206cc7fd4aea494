#include "background_worker.h"

#include <QMetaObject>
#include <QThreadPool>

BackgroundWorker::BackgroundWorker(QObject *parent)
    : QObject(parent)
{ }

void BackgroundWorker::RunWorkerAsync(int argument)
{
    if (busy_ || !body_)
        return;
    busy_ = true;
    QThreadPool::globalInstance()->start([this, argument] {
        try {
            body_(argument);
        } catch (...) {
            // Like any worker of this kind: a failure ends the body; the caller judges the
            // outcome from the step's status, which the body had no chance to set to success.
        }
        QMetaObject::invokeMethod(this, &BackgroundWorker::finish, Qt::QueuedConnection);
    });
}

void BackgroundWorker::finish()
{
    busy_ = false;
    emit completed();
}
