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
