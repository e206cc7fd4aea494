// A window over simulated printers on a virtual clock, with every message the operator would
// see recorded instead of shown.
#pragma once

#include "window_under_test.h"

#include "firmware/firmware_image.h"
#include "printer_link/simulated/simulated_printers.h"
#include "printer_link/simulated/virtual_clock.h"
#include "ui/string_table.h"

#include <QCoreApplication>
#include <QCryptographicHash>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// A string table that lacks one key: the lookup fails the way a table broken by the build would.
class TableWithoutKey : public StringTable {
public:
    TableWithoutKey(std::unique_ptr<StringTable> inner, const char *missing)
        : inner_(std::move(inner))
        , missing_(missing)
    { }
    QString lookup(const char *key) const override
    {
        if (qstrcmp(key, missing_) == 0)
            throw std::runtime_error(std::string("No text for \"") + key + "\".");
        return inner_->lookup(key);
    }

private:
    std::unique_ptr<StringTable> inner_;
    const char *missing_;
};

// SHA-256 in lower-case hex, as the simulated printers report what they received, but taken
// with Qt's own hash rather than theirs.
inline QString Sha256Hex(const std::uint8_t *data, std::size_t size)
{
    return QString::fromLatin1(QCryptographicHash::hash(
        QByteArrayView(data, static_cast<qsizetype>(size)), QCryptographicHash::Sha256)
                                   .toHex());
}

class WorkflowHarness : public WindowUnderTest {
public:
    explicit WorkflowHarness(std::uint32_t imageBytes = 4096)
        : image_(imageBytes)
        , imageSource_(image_.data(), static_cast<std::uint32_t>(image_.size()))
    {
        for (std::size_t i = 0; i < image_.size(); ++i)
            image_[i] = static_cast<std::uint8_t>(i * 7 + 3);
        useImage(&imageSource_);
        vornik::InstallPlatform(&printers, &clock);
    }

    ~WorkflowHarness() override
    {
        form.reset();
        vornik::InstallPlatform(nullptr, nullptr);
    }

    // A printer of the build's product, or of another product.
    vornik::sim::PrinterConfig printer(const std::string &serial) const
    {
        vornik::sim::PrinterConfig config;
        config.serial = serial;
        config.expectedImageBytes = image_.size();
        return config;
    }

    // Delivers the notices the simulated printers have raised so far.
    void deliverNotices() { QCoreApplication::processEvents(); }

    const std::vector<std::uint8_t> &image() const { return image_; }
    QString imageSha256() const { return Sha256Hex(image_.data(), image_.size()); }

    vornik::sim::VirtualClock clock { 0xFFFF0000u }; // wraps during every run
    vornik::sim::SimulatedPrinters printers { clock };

protected:
    std::uint64_t nowMs() const override { return clock.elapsed(); }

private:
    std::vector<std::uint8_t> image_;
    vornik::MemoryFirmwareImage imageSource_;
};
