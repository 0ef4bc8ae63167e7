#include "l10n/StringTable.h"

#include <QDir>
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
    // Tables are named after a language ("fr") or, where its countries write
    // it differently, a language and territory ("pt_BR", "zh_CN"). A locale
    // takes its own language and territory's table, else its language's
    // (fr_CA reads French), else a table of its language in the same script
    // (pt_PT reads Brazilian Portuguese, zh_SG simplified Chinese; zh_TW,
    // written in traditional characters, does not read zh_CN), else English.
    const QDir tables(QStringLiteral(":/i18n"));
    if (locale.language() != QLocale::C) {
        const QString language = QLocale::languageToCode(locale.language());
        QStringList names{
            QStringLiteral("headroom_%1_%2.qm").arg(language, QLocale::territoryToCode(locale.territory())),
            QStringLiteral("headroom_%1.qm").arg(language)};
        for (const QString& name : tables.entryList({QStringLiteral("headroom_%1_*.qm").arg(language)}, QDir::Files)) {
            if (QLocale(name.mid(9, name.size() - 12)).script() == locale.script())
                names << name;
        }
        for (const QString& name : std::as_const(names)) {
            if (tables.exists(name))
                return fromFile(tables.filePath(name));
        }
    }
    return fromFile(tables.filePath(QStringLiteral("headroom_en.qm")));
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
