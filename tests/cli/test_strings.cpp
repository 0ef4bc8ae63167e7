#include "l10n/StringTable.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QTranslator>

#include <string>

using headroom::kStringContext;
using headroom::kStringKeyCount;
using headroom::kStringKeys;
using headroom::StringTable;

namespace {

// The compiled tables as the build put them into the resources.
const char* const kCompiledTables[] = {":/i18n/headroom_en.qm", ":/i18n/headroom_de.qm"};

} // namespace

TEST(StringTables, EveryKeyHasATextInEveryCompiledTable)
{
    ASSERT_GT(kStringKeyCount, 0u);
    for (const char* path : kCompiledTables) {
        QTranslator translator;
        ASSERT_TRUE(translator.load(QString::fromLatin1(path))) << path << " is not in the resources";
        for (std::size_t i = 0; i < kStringKeyCount; ++i) {
            const QString text = translator.translate(kStringContext, kStringKeys[i]);
            EXPECT_FALSE(text.trimmed().isEmpty()) << path << ": no text for \"" << kStringKeys[i] << "\"";
        }
    }
}

TEST(StringTables, EachLanguageGetsItsOwnTableAndOthersGetEnglish)
{
    const auto german = StringTable::forLocale(QLocale(QLocale::German, QLocale::Germany));
    const auto english = StringTable::forLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(german->language().left(2), "de");
    EXPECT_EQ(english->language().left(2), "en");
    EXPECT_EQ(german->utf8("Total"), "Gesamt");
    EXPECT_EQ(english->utf8("Total"), "Total");

    for (const QLocale& other : {QLocale::c(), QLocale(QLocale::French, QLocale::France), QLocale(QLocale::Japanese)}) {
        const auto table = StringTable::forLocale(other);
        EXPECT_EQ(table->language(), english->language()) << other.name().toStdString();
        for (std::size_t i = 0; i < kStringKeyCount; ++i)
            EXPECT_EQ(table->utf8(kStringKeys[i]), english->utf8(kStringKeys[i])) << kStringKeys[i];
    }
}

TEST(StringTables, LoadedTableGivesTheCompiledTextOfEveryKey)
{
    const struct {
        QLocale locale;
        const char* compiled;
    } cases[] = {{QLocale(QLocale::German), ":/i18n/headroom_de.qm"}, {QLocale(QLocale::English), ":/i18n/headroom_en.qm"}};
    for (const auto& c : cases) {
        const auto table = StringTable::forLocale(c.locale);
        QTranslator translator;
        ASSERT_TRUE(translator.load(QString::fromLatin1(c.compiled)));
        for (std::size_t i = 0; i < kStringKeyCount; ++i) {
            EXPECT_EQ(table->utf8(kStringKeys[i]), translator.translate(kStringContext, kStringKeys[i]).toStdString())
                << c.compiled << ": " << kStringKeys[i];
        }
    }
}

TEST(StringTables, MissingKeyReadsAsItself)
{
    for (const auto& table : {StringTable::forLocale(QLocale(QLocale::German)),
                              StringTable::forLocale(QLocale(QLocale::English)),
                              StringTable::fromFile(QStringLiteral("/nonexistent/table.qm"))}) {
        EXPECT_EQ(table->utf8("No Such Key"), "No Such Key");
        EXPECT_EQ(table->utf8(""), "");
        EXPECT_EQ(table->text("No Such Key"), QStringLiteral("No Such Key"));
    }
}

TEST(StringTables, EmptyTableReadsEveryKeyAsItself)
{
    const auto empty = StringTable::empty();
    EXPECT_TRUE(empty->language().isEmpty());
    const headroom::KeyLookup lookup = StringTable::lookup(empty);
    for (std::size_t i = 0; i < kStringKeyCount; ++i) {
        EXPECT_EQ(empty->utf8(kStringKeys[i]), kStringKeys[i]);
        EXPECT_EQ(lookup(kStringKeys[i]), kStringKeys[i]);
    }
}
