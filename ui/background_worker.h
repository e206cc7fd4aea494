// A reusable background worker: runs its body once per start on a pool thread, with an
// optional integer argument. It counts as busy from the start until its completion notice has
// been processed on the thread that owns it, so "wait while busy" on the user-interface thread
// also means "the worker's writes are visible now".
#pragma once

#include <QObject>

#include <functional>

class BackgroundWorker : public QObject {
    Q_OBJECT

public:
    explicit BackgroundWorker(QObject *parent = nullptr);

    void setBody(std::function<void(int)> body) { body_ = std::move(body); }
    // Starts the body on a pool thread. Ignored while busy.
    void RunWorkerAsync(int argument = 0);
    bool IsBusy() const { return busy_; }

signals:
    void completed();

private:
    void finish();

    std::function<void(int)> body_;
    bool busy_ = false;
};
