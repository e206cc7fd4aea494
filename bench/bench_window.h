// The printer bench: attach and detach simulated printers at any time, choose how each behaves
// during an update, and watch what each one receives. It drives the same simulated printers the
// tests use; the main window beside it is the product's own, unchanged.
#pragma once

#include "printer_link/simulated/printer_behaviours.h"
#include "printer_link/simulated/simulated_printers.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <map>

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace vornik::sim {
class ScaledRealClock;
}

// How a bench printer behaves during an update.
using BenchBehaviour = vornik::sim::PrinterBehaviour;

// How the bench says a behaviour; `percent` is shown for the two that happen partway through
// the image.
QString BehaviourText(BenchBehaviour behaviour, int percent);
// The key of the status text a printer of this behaviour ends with in the window, when it is
// ticked and updated in a run of its own kind: what the bench and the rehearsal hold a run to.
const char *ExpectedFinalStatusKey(BenchBehaviour behaviour);

enum class BenchProduct {
    BuildProduct,
    OtherProduct,
    UnreadableDeviceId,
};

class BenchWindow : public QWidget {
    Q_OBJECT

public:
    enum Column {
        ColumnId,
        ColumnSerial,
        ColumnIdentity,
        ColumnBehaviour,
        ColumnMode,
        ColumnReceived,
        ColumnImage,
        ColumnCount,
    };

    // `imageBytes` and `imageSha256` describe the embedded image, so the bench can tell whether
    // a printer received it whole. `clock` may be null (no speed control).
    BenchWindow(vornik::sim::SimulatedPrinters &printers, const QString &productName,
        std::uint32_t imageBytes, QString imageSha256,
        vornik::sim::ScaledRealClock *clock = nullptr, QWidget *parent = nullptr);

    // The printer configuration the bench builds from its choices.
    // `percent` is where in the image a failing or unplugged printer stops.
    vornik::sim::PrinterConfig makeConfig(const QString &serial, BenchProduct product, int status,
        BenchBehaviour behaviour, int percent) const;

    // Attach with the choices currently in the form; returns the printer's id.
    int attachFromForm();
    // Refreshes the table from the printers' snapshots.
    void refresh();

    QLineEdit *serialEdit = nullptr;
    QComboBox *productCombo = nullptr;
    QComboBox *statusCombo = nullptr;
    QComboBox *behaviourCombo = nullptr;
    QSpinBox *failPercentSpin = nullptr; // the N % of both behaviours that stop partway
    QPushButton *attachButton = nullptr;
    QPushButton *detachButton = nullptr;
    QPushButton *setStatusButton = nullptr;
    QComboBox *speedCombo = nullptr;
    QTableWidget *printerTable = nullptr;

    // How the mode and the bytes received read in the table.
    static QString modeText(const vornik::sim::PrinterSnapshot &printer);
    QString receivedText(std::uint64_t bytes) const;

private:
    struct Chosen {
        BenchBehaviour behaviour = BenchBehaviour::Well;
        int percent = 0;
    };

    int selectedPrinterId() const;

    vornik::sim::SimulatedPrinters &printers_;
    QString productName_;
    std::uint32_t imageBytes_;
    QString imageSha256_;
    vornik::sim::ScaledRealClock *clock_;
    QTimer *pollTimer_ = nullptr;
    int nextSerial_ = 1;
    std::map<int, Chosen> chosen_; // by printer id, for printers attached from the form
};
