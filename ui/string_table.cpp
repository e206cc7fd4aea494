// The tables are Qt Linguist files keyed by StrRes_ id (resources/strings/), turned into .qm at
// build time and embedded under :/strings/. Each table gets a translator of its own rather than
// being installed in the application: all four stay open side by side and the current language
// is only an index into them.
#include "ui/string_table.h"

#include <QFile>
#include <QTranslator>

#include <stdexcept>

namespace {

class EmbeddedStringTable : public StringTable {
public:
    explicit EmbeddedStringTable(const QString &baseName)
        : baseName_(baseName)
    { }

    bool load()
    {
        // QTranslator::load() falls back to shorter names ("VornikFDU.XX" -> "VornikFDU") when
        // the exact file is missing; only the exact table will do.
        const QString path = QStringLiteral(":/strings/") + baseName_ + QStringLiteral(".qm");
        return QFile::exists(path) && translator_.load(path);
    }

    QString lookup(const char *key) const override
    {
        // Id-based tables keep every text under an empty context.
        const QString text = translator_.translate("", key);
        if (text.isNull())
            throw std::runtime_error(
                "The string table " + baseName_.toStdString() + " has no text \"" + key + "\".");
        return text;
    }

private:
    QString baseName_;
    QTranslator translator_;
};

} // namespace

std::unique_ptr<StringTable> StringTable::open(const QString &baseName)
{
    auto table = std::make_unique<EmbeddedStringTable>(baseName);
    if (!table->load())
        throw std::runtime_error(
            "The string table " + baseName.toStdString() + " is missing from the program.");
    return table;
}
