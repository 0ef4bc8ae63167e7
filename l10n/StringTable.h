#pragma once

#include "core/KeyLookup.h"

#include <QLocale>
#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace headroom {

// The one string table of the application: a Qt Linguist table with the
// fixed context "Headroom". A key the table lacks reads as the key itself.
// Immutable once built, so any thread may look keys up.
class StringTable {
public:
    // The table for the locale: its language and territory's, else its
    // language's, else one of its language in the same script; English
    // serves every other language (C/POSIX included).
    static std::shared_ptr<const StringTable> forLocale(const QLocale& locale);
    // The table of the user's language (LC_ALL, LC_MESSAGES, LANG).
    static std::shared_ptr<const StringTable> forSystemLocale();
    // A compiled table from a file or resource path; empty table if unreadable.
    static std::shared_ptr<const StringTable> fromFile(const QString& qmPath);
    // No entries at all: every text reads as its key.
    static std::shared_ptr<const StringTable> empty();

    QString text(std::string_view key) const;
    std::string utf8(std::string_view key) const;
    // A lookup for the pure composition functions; keeps the table alive.
    static KeyLookup lookup(std::shared_ptr<const StringTable> table);

    // The language whose table was loaded ("en", "de_DE", "pt_BR"), empty
    // for none.
    const QString& language() const { return language_; }

private:
    StringTable() = default;
    std::unordered_map<std::string, std::string> entries_;
    QString language_;
};

// Every key the program looks up, in one list; the string tables are
// checked against it.
extern const char* const kStringKeys[];
extern const std::size_t kStringKeyCount;
inline constexpr const char* kStringContext = "Headroom";

} // namespace headroom
