// The string tables that every text of headroom-cli comes from.

#include "l10n/StringTable.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QTranslator>

#include <span>

using headroom::kStringContext;
using headroom::kStringKeyCount;
using headroom::kStringKeys;
using headroom::StringTable;

TEST(StringTables, GermanGetsItsOwnTableAndEveryOtherLanguageTheEnglishOne)
{
    ASSERT_GT(kStringKeyCount, 0u);
    const std::tuple<QLocale, const char*, QString> cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), ":/i18n/headroom_de.qm", "de"},
        {QLocale::c(), ":/i18n/headroom_en.qm", "en"},
        {QLocale(QLocale::French, QLocale::France), ":/i18n/headroom_en.qm", "en"},
    };
    for (const auto& [locale, compiled, language] : cases) {
        const auto table = StringTable::forLocale(locale);
        EXPECT_EQ(table->language().left(2), language) << locale.name().toStdString();
        QTranslator translator;
        ASSERT_TRUE(translator.load(QString::fromLatin1(compiled))) << compiled << " is not in the resources";
        for (const char* key : std::span(kStringKeys, kStringKeyCount)) {
            const QString text = translator.translate(kStringContext, key);
            EXPECT_FALSE(text.trimmed().isEmpty()) << compiled << ": no text for " << key;
            EXPECT_EQ(table->utf8(key), text.toStdString()) << locale.name().toStdString() << ": " << key;
        }
    }
    EXPECT_EQ(StringTable::forLocale(QLocale(QLocale::German))->utf8("Total"), "Gesamt");
}

TEST(StringTables, MissingKeysAndTheEmptyTableReadAsTheKeyItself)
{
    for (const auto& table : {StringTable::forLocale(QLocale(QLocale::German)),
                              StringTable::forLocale(QLocale(QLocale::English)),
                              StringTable::fromFile(QStringLiteral("/nonexistent/table.qm")), StringTable::empty()}) {
        EXPECT_EQ(table->utf8("No Such Key") + table->utf8(""), "No Such Key");
        EXPECT_EQ(table->text("No Such Key"), QStringLiteral("No Such Key"));
    }
    EXPECT_TRUE(StringTable::empty()->language().isEmpty());
    const headroom::KeyLookup lookup = StringTable::lookup(StringTable::empty());
    for (const char* key : std::span(kStringKeys, kStringKeyCount))
        EXPECT_EQ(StringTable::empty()->utf8(key) + lookup(key), std::string(key) + key);
}
