// The rehearsal: a whole update run on the bench, played without anybody at the machine. It
// attaches printers through the bench's form, ticks them and presses START in the product's
// window with real mouse clicks, answers the window's messages, prints every status row as it
// changes, keeps screenshots, and judges each printer's ending against its behaviour.
//
// It only uses what an operator sees: the window's elements by their object names, the bench's
// controls and table. Whatever the window does inside, the rehearsal still reads it right.
#pragma once

#include "bench/bench_window.h"
#include "ui/string_table.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QWidget;

struct RehearsalPrinter {
    QString serial;
    BenchBehaviour behaviour = BenchBehaviour::Well;
    int percent = 0;
};

class Rehearsal : public QObject {
    Q_OBJECT

public:
    // `window` is the product's main window, already shown; screenshots go to `outputDir`
    // (created when missing), the account of the run to `out`.
    Rehearsal(BenchWindow &bench, QWidget &window, QString outputDir, std::FILE *out);
    ~Rehearsal() override;

    // A printer that updates well and comes back with the new firmware, one that comes back
    // with its old firmware, and one that comes back with another serial number.
    static std::vector<RehearsalPrinter> defaultPrinters();

    // Plays the run; 0 when every printer ended as its behaviour predicts and the summary
    // counted them so, 1 when not, 2 when the run could not be played at all.
    int run(const std::vector<RehearsalPrinter> &printers = defaultPrinters());

    // When the run has not ended after this long, the state so far is printed and the process
    // ends with status 3: a run stuck inside the window cannot be unwound from outside it.
    void setTimeLimitMs(int milliseconds) { timeLimitMs_ = milliseconds; }

    // Called again and again while the rehearsal waits for printers to come back after the run.
    // The bench's printer clock runs by itself; a test on a virtual clock moves it here.
    void setWhileWaitingForReturns(std::function<void()> step) { returnStep_ = std::move(step); }

    // The status rows as they changed: per row, the English keys in order.
    const std::map<int, QStringList> &history() const { return history_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void statusRowsChanged(int first, int last);
    void answerDialog(QWidget *dialog);
    void screenshot(const QString &name);
    // The English of a status key, as the report and the logs give it beside the window's text.
    QString english(const QString &key) const;
    double seconds() const;

    BenchWindow &bench_;
    QWidget &window_;
    QString outputDir_;
    std::FILE *out_;
    int timeLimitMs_ = 600000;
    std::function<void()> returnStep_;
    int shots_ = 0;
    qint64 startedMs_ = 0;
    std::unique_ptr<StringTable> english_ = StringTable::open(QStringLiteral("VornikFDU.EN"));
    std::map<int, QString> shown_; // row to the text last printed
    std::map<int, QStringList> history_;
    int summaryUpdated_ = -1;
    int summaryTotal_ = -1;
    QStringList messages_;
};
