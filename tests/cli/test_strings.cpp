// The string tables that every text of headroom-cli comes from.

#include "l10n/StringTable.h"

#include <gtest/gtest.h>

#include <QLocale>

using headroom::StringTable;

// Which table a locale gets is checked through the environment
// (tests/app/CMakeLists.txt), and each shipped table's completeness with the
// window it must fit (tests/app/test_locale.cpp).
TEST(StringTables, MissingKeysAndTheEmptyTableReadAsTheKeyItself)
{
    for (const auto& table : {StringTable::forLocale(QLocale(QLocale::German)),
                              StringTable::fromFile(QStringLiteral("/nonexistent/table.qm")), StringTable::empty()})
        EXPECT_EQ(table->utf8("No Such Key") + table->text("No Such Key").toStdString(), "No Such KeyNo Such Key");
    EXPECT_TRUE(StringTable::empty()->language().isEmpty());
    EXPECT_EQ(StringTable::lookup(StringTable::empty())("Total") + StringTable::empty()->utf8(""), "Total");
}
