// Renders the main window and the message dialog to PNG files without a screen, for a person to
// check the look: the Ready state in each language, a real update run over simulated printers
// (one stores the image, one never finishes) caught while it runs and when it has finished, and
// the dialog in each of its modes.
//
// Usage: vornik_screenshots [output folder]   (default: ./screenshots)
#include "firmware/firmware_image.h"
#include "printer_link/platform.h"
#include "printer_link/simulated/simulated_printers.h"
#include "printer_link/simulated/virtual_clock.h"
#include "ui/form1.h"
#include "ui/pictures.h"
#include "ui/string_table.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

const char *const kLanguageCodes[] = { "en", "de", "es", "fr" };

class Shooter {
public:
    explicit Shooter(QString folder)
        : folder_(std::move(folder))
    {
        QDir().mkpath(folder_);
    }

    void save(QWidget &widget, const QString &name)
    {
        const QString path = QDir(folder_).filePath(name);
        if (widget.grab().save(path)) {
            std::printf("%s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            ++failures;
        }
    }

    // Every picture at twice its size on the panel grey, one row per kind.
    void savePictureSheet(const QString &name)
    {
        const QList<QList<QPixmap>> rows = {
            { pictures::flagUnitedStates(), pictures::flagGermany(), pictures::flagSpain(),
                pictures::flagFrance() },
            { pictures::logoZeltan(), pictures::logoMorval(), pictures::logoQuadrix(),
                pictures::logoJox(), pictures::programIcon().pixmap(64) },
            { pictures::minimizeGlyph(), pictures::closeGlyph(), pictures::warningTriangle(),
                pictures::informationGlyph(), pictures::checkMark(), pictures::cross() },
            pictures::busyFrames(),
        };
        QPixmap sheet(820, 480);
        sheet.fill(QColor(156, 170, 193));
        QPainter painter(&sheet);
        int y = 10;
        for (const auto &row : rows) {
            int x = 10, height = 0;
            for (const QPixmap &picture : row) {
                painter.drawPixmap(QRect(x, y, picture.width() * 2, picture.height() * 2), picture);
                x += picture.width() * 2 + 10;
                height = qMax(height, picture.height() * 2);
            }
            y += height + 10;
        }
        painter.end();
        const QString path = QDir(folder_).filePath(name);
        if (sheet.save(path))
            std::printf("%s\n", qPrintable(path));
        else
            ++failures;
    }

    int failures = 0;

private:
    QString folder_;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Shooter shooter(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"));

    vornik::sim::VirtualClock clock;
    vornik::sim::SimulatedPrinters printers(clock);
    vornik::InstallPlatform(&printers, &clock);

    // Eight blocks, so that the fill can be caught on its way.
    std::vector<std::uint8_t> image(8 * 64 * 1024);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 31 + 7);
    vornik::MemoryFirmwareImage firmware(image.data(), static_cast<std::uint32_t>(image.size()));

    const char *const serials[] = { "X4K2093811", "X4K2093870", "X4K2101544" };
    for (int i = 0; i < 3; ++i) {
        vornik::sim::PrinterConfig config;
        config.serial = serials[i];
        config.expectedImageBytes = image.size();
        if (i == 1)
            config.storeTimeMs = -1; // never leaves the bus: ends in a timeout
        printers.attach(config);
    }

    Form1 form(BuildTexts::fromBuild(), &firmware);
    QString nextDialog = QStringLiteral("dialog-startup-message.png");
    form.dialogRunner = [&](UI_Message &dialog) {
        dialog.show();
        shooter.save(dialog, nextDialog);
        dialog.close();
    };
    form.show();
    QCoreApplication::processEvents();
    if (form.closedDuringLoad()) {
        std::fprintf(stderr, "start-up closed the window\n");
        return 1;
    }

    // Ready, in the brand's start language and then each other one.
    for (int i = 0; i < 4; ++i) {
        shooter.save(form,
            QStringLiteral("ready-%1.png")
                .arg(QLatin1String(kLanguageCodes[form.gLanguageImageListIndex])));
        form.LangButton->click();
    }
    while (form.gLanguageImageListIndex != 0)
        form.LangButton->click();

    // A real run over two of the three printers, caught once halfway through sending the
    // firmware to the first, its row half filled.
    form.SupportedPrinterCheckedListBox->item(0)->setCheckState(Qt::Checked);
    form.SupportedPrinterCheckedListBox->item(1)->setCheckState(Qt::Checked);
    shooter.save(form, QStringLiteral("ready-ticked.png"));
    bool caught = false;
    QObject::connect(form.FDUStatusListBox->model(), &QAbstractItemModel::dataChanged, &form,
        [&](const QModelIndex &index, const QModelIndex &, const QList<int> &roles) {
            if (caught || !roles.contains(kStatusFillRole))
                return;
            const auto fill = index.data(kStatusFillRole).value<StatusFillValue>();
            if (fill.kind != StatusFill::Transfer || fill.done * 2 < fill.total)
                return;
            caught = true;
            shooter.save(form, QStringLiteral("updating.png"));
        });
    nextDialog = QStringLiteral("dialog-result-run.png");
    form.StartButton->click();
    QCoreApplication::processEvents();
    shooter.save(form, QStringLiteral("finished.png"));

    // The dialog in each mode.
    nextDialog = QStringLiteral("dialog-result-all.png");
    form.App_ShowUIMessage_Handler(3, form.StrRes("StrRes_AllUpdated"), 2, 2);
    nextDialog = QStringLiteral("dialog-message.png");
    form.App_ShowUIMessage_Handler(
        1, StringTable::open(QStringLiteral("VornikFDU.DE"))->lookup("StrRes_FhxUnsigned"), 0, 0);
    nextDialog = QStringLiteral("dialog-message-long.png");
    form.App_ShowUIMessage_Handler(
        1, QStringLiteral("Error: Printer not found! ").repeated(40), 0, 0);

    UI_Message progress(&form);
    form.App_ShowUIProgressForm_Handler(&progress, QStringLiteral("Preparing the printers ..."));
    for (int i = 0; i < 6; ++i)
        progress.UI_ProgressTimer_Handler(QStringLiteral("Run"));
    shooter.save(progress, QStringLiteral("dialog-progress.png"));
    progress.close();

    shooter.savePictureSheet(QStringLiteral("pictures.png"));

    form.close();
    vornik::InstallPlatform(nullptr, nullptr);
    return shooter.failures == 0 && caught ? 0 : 1;
}
