// An emulated printer (emulated_printer.cpp) as a child process of a guest test: started on one
// dummy USB controller, driven by control lines, followed through the events it reports.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

struct USBPrinterClassDeviceInfo;

class EmulatedPrinter {
public:
    struct Config {
        QString udc = QStringLiteral("dummy_udc.0");
        QString serial = QStringLiteral("SN0001");
        QString product = QStringLiteral("ZELTAN QXR3303"); // manufacturer, a blank, model
        QString status = QStringLiteral("00");
        QString fault = QStringLiteral("none");
        bool startInDownloadMode = false;
        qint64 imageBytes = 0;
        QByteArray imageSha256; // lower-case hex
        QStringList extraArguments;
    };

    // The printer with `serial` on dummy_udc.`udc`, on the bus; null with the reason in the log.
    static std::unique_ptr<EmulatedPrinter> started(int udc, QString serial, Config config);

    explicit EmulatedPrinter(Config config);
    ~EmulatedPrinter();
    EmulatedPrinter(const EmulatedPrinter &) = delete;
    EmulatedPrinter &operator=(const EmulatedPrinter &) = delete;

    // Starts the program and waits until it is on the bus; on failure `why` says what happened.
    bool start(QString *why);
    // Sends one control line and waits until the printer has acted on it.
    bool control(const QString &line);
    // The first event not yet taken that starts with `prefix` (the rest of its line), or a null
    // string when none comes within `timeoutMs`. Events before it are passed over.
    QString waitFor(const QString &prefix, int timeoutMs = 5000);
    // Passes over every event so far.
    void skipEvents();
    // Every event line since the start, for failure messages.
    QString transcript() const;
    // Ends the program (it leaves the bus and takes its gadget down).
    void quit();

    const Config &config() const { return config_; }

    // The image in the form the printer expects on its command line.
    static QByteArray sha256Hex(const QByteArray &image);

private:
    void pull();

    Config config_;
    QProcess process_;
    QByteArray partial_;
    QStringList events_;
    qsizetype next_ = 0;
    qsizetype nextAcknowledgement_ = 0;
};

// One line per entry of a device table, for failure messages.
QString DescribeDeviceTable(const USBPrinterClassDeviceInfo &table);

// An image of `size` bytes that no two seeds share and no printer could mistake for a real one.
QByteArray TestImage(qsizetype size, int seed);
