// A window over simulated printers on a virtual clock, with every message the operator would
// see recorded instead of shown.
#pragma once

#include "firmware/firmware_image.h"
#include "printer_link/printer_link.h"
#include "printer_link/simulated/simulated_printers.h"
#include "printer_link/simulated/virtual_clock.h"
#include "ui/form1.h"
#include "ui/ui_support.h"
#include "workflow/printer_info.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>

#include <memory>
#include <vector>

extern int gFhxSendStatus;
extern int gFlashUpdateStatus;

class WorkflowHarness {
public:
    explicit WorkflowHarness(std::uint32_t imageBytes = 4096)
        : image_(imageBytes)
        , imageSource_(image_.data(), static_cast<std::uint32_t>(image_.size()))
    {
        for (std::size_t i = 0; i < image_.size(); ++i)
            image_[i] = static_cast<std::uint8_t>(i * 7 + 3);
        ResetPrinterLinkState();
        gFDUPrinterInfo = {};
        gFhxSendStatus = 0;
        gFlashUpdateStatus = 0;
        vornik::InstallPlatform(&printers, &clock);
        vornik::InstallErrorBox([this](const std::u16string &text, const std::u16string &) {
            errorBoxes.push_back(QString::fromStdU16String(text));
        });
    }

    ~WorkflowHarness()
    {
        form.reset();
        vornik::InstallPlatform(nullptr, nullptr);
        vornik::InstallErrorBox(nullptr);
    }

    // A printer of the build's product, or of another product.
    vornik::sim::PrinterConfig printer(const std::string &serial) const
    {
        vornik::sim::PrinterConfig config;
        config.serial = serial;
        config.expectedImageBytes = image_.size();
        return config;
    }

    void useImage(vornik::FirmwareImageSource *source) { imageOverride_ = source; }

    // Builds and shows the window (start-up runs), then switches it to English so tests can
    // compare texts.
    Form1 &start(const BuildTexts &texts = BuildTexts::fromBuild(), bool english = true)
    {
        form = std::make_unique<Form1>(texts, imageOverride_ ? imageOverride_ : &imageSource_);
        form->dialogRunner = RecordMessages(messages, [this](const RecordedMessage &message) {
            if (onMessage)
                onMessage(message);
        });
        form->show();
        if (english && !form->closedDuringLoad()) {
            form->gLanguageImageListIndex = 0;
            form->App_ChangeLanguage(0);
        }
        QObject::connect(form->FDUStatusListBox->model(), &QAbstractItemModel::rowsInserted,
            form.get(), [this](const QModelIndex &, int first, int) {
                const QString text
                    = form->FDUStatusListBox->model()->index(first, 0).data().toString();
                statusHistory.push_back(
                    { first, text, form->Progress_UpdateStepsLabel->text(), clock.elapsed() });
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

    // Delivers the notices the simulated printers have raised so far.
    void deliverNotices() { QCoreApplication::processEvents(); }

    const std::vector<std::uint8_t> &image() const { return image_; }

    struct StatusChange {
        int row;
        QString text;
        QString stepLabel;
        std::uint64_t atMs; // virtual time
    };
    std::function<void(const StatusChange &)> onStatus;

    vornik::sim::VirtualClock clock { 0xFFFF0000u }; // wraps during every run
    vornik::sim::SimulatedPrinters printers { clock };
    std::unique_ptr<Form1> form;
    std::vector<RecordedMessage> messages;
    std::function<void(const RecordedMessage &)> onMessage;
    std::vector<StatusChange> statusHistory;
    QStringList errorBoxes;

private:
    std::vector<std::uint8_t> image_;
    vornik::MemoryFirmwareImage imageSource_;
    vornik::FirmwareImageSource *imageOverride_ = nullptr;
};
