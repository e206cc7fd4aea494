// One language's string table, carried inside the executable and looked up by key.
#pragma once

#include <QString>

#include <memory>

class StringTable {
public:
    virtual ~StringTable() = default;
    // The text of `key`; throws std::runtime_error naming the key when the table lacks it.
    virtual QString lookup(const char *key) const = 0;

    // Opens the embedded table with this base name ("VornikFDU.EN" ... "VornikFDU.FR").
    // Throws std::runtime_error when there is none.
    static std::unique_ptr<StringTable> open(const QString &baseName);
};

// Every text a status row can show, by key: how the window's text of a row is traced back to its
// key and its English.
inline constexpr const char *kStatusKeys[] = {
    "StrRes_StatusInIdleMode",
    "StrRes_StatusSettingFlashMode",
    "StrRes_StatusInFlashMode",
    "StrRes_StatusFlashModeFail",
    "StrRes_StatusSendingFhx",
    "StrRes_StatusStoringAndUpdating",
    "StrRes_StatusUpdateCompleted",
    "StrRes_StatusUpdateTimeout",
    "StrRes_StatusPrinterNotFound",
    "StrRes_StatusPrinterNotConnected",
    "StrRes_StatusFlashingTimeout",
};
