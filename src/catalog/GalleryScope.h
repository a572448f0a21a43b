#pragma once

#include "catalog/model/MediaKind.h"
#include "catalog/search/SearchQuery.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

namespace pivra {

// SQL text with the values of its "?" parameters in order; every parameter is
// bound as text.
struct SqlCondition {
    QStringList clauses;
    QStringList parameters;
};

struct SqlPredicate {
    QString where;
    QStringList parameters;

    bool operator==(const SqlPredicate&) const = default;
};

// What the gallery shows: all sources or one, a folder, photos or videos,
// favourites, an album, a parsed search, with some sources left out and the
// disconnected ones ranked last among duplicates. The store fills one and the
// catalog turns it into a WHERE text.
struct GalleryScope {
    std::optional<QUuid> sourceID{};
    MediaFilter filter = MediaFilter::all;
    SearchQuery search{};
    bool favoritesOnly = false;
    std::optional<QUuid> albumID{};
    QList<QUuid> excludedSources{};
    // Relative to the source root, "/"-separated, no leading or trailing "/".
    std::optional<QString> folder{};
    // Sources that are disconnected now; they only rank duplicates.
    QList<QUuid> offlineSources{};

    // The condition that hides the motion video of a Live Photo whose still
    // is indexed in the same source, for the table or alias `alias`.
    static QString visible(const QString& alias);

    // The scope's clauses about `alias`, each a complete boolean expression,
    // and the text parameters of their "?" in order.
    SqlCondition scope(const QString& alias) const;

    // The WHERE text for the table `media` of the scope's clauses alone, with
    // no duplicate rule.
    SqlPredicate scopePredicate() const;

    // The WHERE text for the table `media`: the scope plus the three rules
    // that keep one item of each set of duplicates lying inside the scope.
    // `shownSources`, when given, are sources that hold every row of the
    // scope (all but those it leaves out): when they are at most
    // `twinsSoughtBySourceUpTo`, a twin is sought only among their rows, in
    // indexes that lead with the source.
    SqlPredicate predicate(const std::optional<QStringList>& shownSources = std::nullopt) const;
    static constexpr qsizetype twinsSoughtBySourceUpTo = 4;

    // The three rules of predicate() alone, about a row of `media` that the
    // scope holds.
    SqlPredicate duplicateRules(const std::optional<QStringList>& shownSources = std::nullopt) const;
};

// SQL that is true when the relative path `path` is the folder `folder` or
// lies below it ("2020-old" is not below "2020"). `folderBelow` is the folder
// followed by "/"; all three are SQL expressions.
QString insideFolder(const QString& path, const QString& folder, const QString& folderBelow);

// A number literal for SQL that reads back as exactly `value`: the shortest
// such text, in the C locale.
QString sqlNumberLiteral(double value);

} // namespace pivra
