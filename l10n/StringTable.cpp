#include "l10n/StringTable.h"

#include <QFile>
#include <QTranslator>

namespace headroom {

std::shared_ptr<const StringTable> StringTable::empty()
{
    return std::shared_ptr<const StringTable>(new StringTable());
}

std::shared_ptr<const StringTable> StringTable::fromFile(const QString& qmPath)
{
    QTranslator translator;
    auto table = std::shared_ptr<StringTable>(new StringTable());
    if (!translator.load(qmPath))
        return table;
    table->language_ = translator.language();
    // Copy every known key out of the translator so lookups never touch Qt
    // objects again and the table is safe to share between threads.
    for (std::size_t i = 0; i < kStringKeyCount; ++i) {
        const QString text = translator.translate(kStringContext, kStringKeys[i]);
        if (!text.isEmpty())
            table->entries_.emplace(kStringKeys[i], text.toStdString());
    }
    return table;
}

std::shared_ptr<const StringTable> StringTable::forLocale(const QLocale& locale)
{
    const QString language = QLocale::languageToCode(locale.language());
    const QString own = QStringLiteral(":/i18n/headroom_%1.qm").arg(language);
    if (locale.language() != QLocale::C && QFile::exists(own))
        return fromFile(own);
    return fromFile(QStringLiteral(":/i18n/headroom_en.qm"));
}

std::shared_ptr<const StringTable> StringTable::forSystemLocale()
{
    return forLocale(QLocale::system());
}

QString StringTable::text(std::string_view key) const
{
    return QString::fromStdString(utf8(key));
}

std::string StringTable::utf8(std::string_view key) const
{
    const auto it = entries_.find(std::string(key));
    return it == entries_.end() ? std::string(key) : it->second;
}

KeyLookup StringTable::lookup(std::shared_ptr<const StringTable> table)
{
    return [table = std::move(table)](std::string_view key) { return table->utf8(key); };
}

} // namespace headroom
