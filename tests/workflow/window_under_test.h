// The window as the product opens it, over whichever platform is installed, with every message
// the operator would see recorded instead of shown and every text each status row went through.
// The suites run it over simulated printers (harness.h), the guest tests over the machine's own
// backend and usblp.
#pragma once

#include "firmware/firmware_image.h"
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"
#include "ui/form1.h"
#include "ui/ui_support.h"
#include "workflow/printer_info.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

extern int gFhxSendStatus;
extern int gFlashUpdateStatus;

// What the operator reads in an English window, written out rather than taken from the string
// table, so that a wrong entry there shows.
inline const QString kIdle = QStringLiteral("Idle mode");
inline const QString kSetting = QStringLiteral("Setting to flash mode ...");
inline const QString kFlashMode = QStringLiteral("Flash mode");
inline const QString kSending = QStringLiteral("Sending firmware file ...");
inline const QString kStoring = QStringLiteral("Storing and updating firmware ...");
inline const QString kCompleted = QStringLiteral("Firmware update: completed");
inline const QString kFlashModeFail = QStringLiteral("ERROR: Failed to set flash mode");
inline const QString kNotConnected = QStringLiteral("Error: Printer not connected!");
inline const QString kFlashingTimeout = QStringLiteral("Error: Flashing timeout!");
inline const QString kUpdateTimeout = QStringLiteral("Firmware update: timeout!");
inline const QString kNotFound = QStringLiteral("Error: Printer not found!");
inline const QString kAllUpdated
    = QStringLiteral("All selected printers have been updated.Updated printers would be OFF.");
inline const QString kSomeUpdated
    = QStringLiteral("ERROR:Failed to update some printers!\r\nPlease check "
                     "status for each printer.\r\nUpdated printers would be OFF.");

// One data row per entry of `rows`, named by the entry's name; the test fetches its index.
template<typename Rows> void AddIndexRows(const Rows &rows)
{
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < rows.size(); ++i)
        QTest::newRow(rows[i].name) << int(i);
}

class WindowUnderTest {
public:
    // Each window starts from a printer layer and a working record that no earlier one touched.
    explicit WindowUnderTest(vornik::FirmwareImageSource *image = nullptr)
        : image_(image)
    {
        ResetPrinterLinkState();
        gFDUPrinterInfo = {};
        gFhxSendStatus = 0;
        gFlashUpdateStatus = 0;
        vornik::InstallErrorBox([this](const std::u16string &text, const std::u16string &) {
            errorBoxes.push_back(QString::fromStdU16String(text));
        });
    }
    virtual ~WindowUnderTest()
    {
        form.reset();
        vornik::InstallErrorBox(nullptr);
    }
    WindowUnderTest(const WindowUnderTest &) = delete;
    WindowUnderTest &operator=(const WindowUnderTest &) = delete;

    void useImage(vornik::FirmwareImageSource *source) { image_ = source; }

    // Builds and shows the window (start-up runs), then switches it to English so tests can
    // compare texts.
    Form1 &start(const BuildTexts &texts = BuildTexts::fromBuild(), bool english = true)
    {
        form = std::make_unique<Form1>(texts, image_);
        form->dialogRunner = RecordMessages(messages, [this](const RecordedMessage &message) {
            if (onMessage)
                onMessage(message);
        });
        form->show();
        startLanguage = form->gLanguageImageListIndex;
        if (english && !form->closedDuringLoad()) {
            form->gLanguageImageListIndex = 0;
            form->App_ChangeLanguage(0);
        }
        QObject::connect(form->FDUStatusListBox->model(), &QAbstractItemModel::rowsInserted,
            form.get(), [this](const QModelIndex &, int first, int) {
                const QString text
                    = form->FDUStatusListBox->model()->index(first, 0).data().toString();
                statusHistory.push_back(
                    { first, text, form->Progress_UpdateStepsLabel->text(), nowMs() });
                if (onStatus)
                    onStatus(statusHistory.back());
            });
        return *form;
    }

    void tick(int row)
    {
        form->SupportedPrinterCheckedListBox->item(row)->setCheckState(Qt::Checked);
    }

    QStringList listEntries() const
    {
        QStringList entries;
        for (int i = 0; i < form->SupportedPrinterCheckedListBox->count(); ++i)
            entries << form->SupportedPrinterCheckedListBox->item(i)->text();
        return entries;
    }

    QStringList statuses() const
    {
        QStringList rows;
        for (int i = 0; i < form->FDUStatusListBox->count(); ++i)
            rows << form->FDUStatusListBox->item(i)->text();
        return rows;
    }

    // Texts row `row` went through, in order.
    QStringList historyOf(int row) const
    {
        QStringList texts;
        for (const auto &entry : statusHistory)
            if (entry.row == row)
                texts << entry.text;
        return texts;
    }

    struct StatusChange {
        int row;
        QString text;
        QString stepLabel;
        std::uint64_t atMs; // on the clock the run waits on, where the window knows it
    };
    std::function<void(const StatusChange &)> onStatus;

    std::unique_ptr<Form1> form;
    std::vector<RecordedMessage> messages;
    std::function<void(const RecordedMessage &)> onMessage;
    std::vector<StatusChange> statusHistory;
    QStringList errorBoxes;
    int startLanguage = -1; // the window's language before start() switched it to English

protected:
    virtual std::uint64_t nowMs() const { return 0; }

private:
    vornik::FirmwareImageSource *image_;
};
