// The printer bench: attach and detach simulated printers at any time, choose how each behaves
// during an update, and watch what each one receives. It drives the same simulated printers the
// tests use; the main window beside it is the product's own, unchanged.
#pragma once

#include "printer_link/simulated/simulated_printers.h"

#include <QString>
#include <QWidget>

#include <cstdint>

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
enum class BenchBehaviour {
    Well,
    NeverLeavesBus,
    ComesBackWithAnotherSerial,
    ComesBackTooLate,
    FailsTransferAt,
    NeverFinishesStoring,
};

enum class BenchProduct {
    BuildProduct,
    OtherProduct,
    UnreadableDeviceId,
};

class BenchWindow : public QWidget {
    Q_OBJECT

public:
    // `imageBytes` and `imageSha256` describe the embedded image, so the bench can tell whether
    // a printer received it whole. `clock` may be null (no speed control).
    BenchWindow(vornik::sim::SimulatedPrinters &printers, const QString &productName,
        std::uint32_t imageBytes, QString imageSha256,
        vornik::sim::ScaledRealClock *clock = nullptr, QWidget *parent = nullptr);

    // The printer configuration the bench builds from its choices.
    vornik::sim::PrinterConfig makeConfig(const QString &serial, BenchProduct product, int status,
        BenchBehaviour behaviour, int failPercent) const;

    // Attach with the choices currently in the form; returns the printer's id.
    int attachFromForm();
    // Refreshes the table from the printers' snapshots.
    void refresh();

    QLineEdit *serialEdit = nullptr;
    QComboBox *productCombo = nullptr;
    QComboBox *statusCombo = nullptr;
    QComboBox *behaviourCombo = nullptr;
    QSpinBox *failPercentSpin = nullptr;
    QPushButton *attachButton = nullptr;
    QPushButton *detachButton = nullptr;
    QPushButton *setStatusButton = nullptr;
    QComboBox *speedCombo = nullptr;
    QTableWidget *printerTable = nullptr;

private:
    int selectedPrinterId() const;

    vornik::sim::SimulatedPrinters &printers_;
    QString productName_;
    std::uint32_t imageBytes_;
    QString imageSha256_;
    vornik::sim::ScaledRealClock *clock_;
    QTimer *pollTimer_ = nullptr;
    int nextSerial_ = 1;
};
