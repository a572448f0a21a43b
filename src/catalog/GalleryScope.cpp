#include "catalog/GalleryScope.h"

#include "catalog/model/CellKey.h"
#include "catalog/Sqlite.h"
#include "catalog/model/Uuid.h"

#include <array>
#include <charconv>

namespace pivra {

namespace {

// 1 for a row of a disconnected source, else 0: duplicates prefer the lower
// rank. Its parameter, when it has one, is the list of disconnected sources.
QString offlineRank(const QString& alias, bool anyOffline)
{
    if (!anyOffline) {
        return QStringLiteral("0");
    }
    return QStringLiteral("(CASE WHEN ") + sqlite::inTextList(alias + QStringLiteral(".source_id"))
         + QStringLiteral(" THEN 1 ELSE 0 END)");
}

} // namespace

QString sqlNumberLiteral(double value)
{
    std::array<char, 32> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    static_cast<void>(error); // 32 characters hold the shortest form of every double
    return QString::fromLatin1(buffer.data(), end - buffer.data());
}

QString GalleryScope::visible(const QString& alias)
{
    return QStringLiteral("NOT (") + alias + QStringLiteral(".kind='video' AND ") + alias
         + QStringLiteral(".live_identifier IS NOT NULL AND EXISTS (SELECT 1 FROM media AS still WHERE still.source_id=")
         + alias + QStringLiteral(".source_id AND still.kind='image' AND still.live_identifier=") + alias
         + QStringLiteral(".live_identifier))");
}

// `forTwin`: the clauses go inside a twin subquery. There a date bound is
// written "+twin.captured", which keeps SQLite from seeking a capture-order
// index with it: without that, a date search made the edited-copy test walk
// every later row of the source for each item (media_source_order on
// source_id and the date range) instead of looking the name up, turning a
// million-item search into hours. The unary plus changes no value.
static SqlCondition scopeClauses(const GalleryScope& scope, const QString& alias, bool forTwin)
{
    const SearchQuery& search = scope.search;
    SqlCondition result;
    QStringList& clauses = result.clauses;
    QStringList& parameters = result.parameters;
    const QString column = alias + u'.';

    clauses.append(GalleryScope::visible(alias));
    if (scope.favoritesOnly) {
        clauses.append(column + QStringLiteral("is_favorite=1"));
    }
    if (scope.albumID) {
        clauses.append(QStringLiteral("EXISTS (SELECT 1 FROM album_media WHERE album_id=? AND media_id=") + column
                       + QStringLiteral("id)"));
        parameters.append(uuidString(*scope.albumID));
    }
    if (scope.sourceID) {
        clauses.append(column + QStringLiteral("source_id=?"));
        parameters.append(uuidString(*scope.sourceID));
    }
    if (!scope.excludedSources.isEmpty()) {
        clauses.append(QStringLiteral("NOT (") + sqlite::inTextList(column + QStringLiteral("source_id")) + u')');
        parameters.append(sqlite::textList(uuidStrings(scope.excludedSources)));
    }
    if (scope.folder) {
        clauses.append(insideFolder(column + QStringLiteral("relative_path"), QStringLiteral("?"), QStringLiteral("?")));
        const QString below = *scope.folder + u'/';
        parameters << *scope.folder << below << below;
    }
    if (const std::optional<MediaKind> kind = restrictedKind(scope.filter)) {
        clauses.append(column + QStringLiteral("kind=?"));
        parameters.append(rawValue(*kind));
    }
    for (const QString& term : search.terms) {
        // The term goes in as typed: "%" and "_" in it act as wildcards.
        clauses.append(u'(' + column + QStringLiteral("name LIKE ? OR ") + column + QStringLiteral("camera LIKE ? OR ")
                       + column + QStringLiteral("lens LIKE ? OR ") + column + QStringLiteral("metadata_json LIKE ?)"));
        const QString pattern = u'%' + term + u'%';
        parameters << pattern << pattern << pattern << pattern;
    }
    for (const QString& term : search.nameTerms) {
        clauses.append(column + QStringLiteral("name LIKE ?"));
        parameters.append(u'%' + term + u'%');
    }
    const QString captured = (forTwin ? QStringLiteral("+") : QString()) + column + QStringLiteral("captured");
    if (search.from) {
        clauses.append(captured + QStringLiteral(" >= ") + sqlNumberLiteral(*search.from));
    }
    if (search.until) {
        clauses.append(captured + QStringLiteral(" < ") + sqlNumberLiteral(*search.until));
    }
    if (search.placeCells) {
        if (search.placeCells->isEmpty()) {
            clauses.append(QStringLiteral("0")); // a place was named that no cell matches
        } else {
            clauses.append(sqlite::inTextList(QLatin1StringView(cellKeySqlFunction) + u'(' + column
                                              + QStringLiteral("latitude, ") + column + QStringLiteral("longitude)")));
            parameters.append(sqlite::textList(*search.placeCells));
        }
    }
    if (search.kind) {
        clauses.append(column + QStringLiteral("kind=?"));
        parameters.append(rawValue(*search.kind));
    }
    return result;
}

QString insideFolder(const QString& path, const QString& folder, const QString& folderBelow)
{
    return u'(' + path + u'=' + folder + QStringLiteral(" OR substr(") + path + QStringLiteral(",1,length(") + folderBelow
           + QStringLiteral("))=") + folderBelow + u')';
}

SqlCondition GalleryScope::scope(const QString& alias) const
{
    return scopeClauses(*this, alias, false);
}

SqlPredicate GalleryScope::scopePredicate() const
{
    SqlCondition own = scope(QStringLiteral("media"));
    if (folder) {
        // Every path the folder clause matches sorts from the folder's own
        // path up to, not including, the folder's path followed by "0" (the
        // character after "/"). The bound changes no result, but lets SQLite
        // seek the folder's rows in (source_id, relative_path) instead of
        // testing every row of the source: a folder of a large library
        // opened in half a second before, in milliseconds now.
        own.clauses.append(QStringLiteral("media.relative_path >= ? AND media.relative_path < ?"));
        own.parameters << *folder << *folder + u'0';
    }
    if (albumID) {
        // The same membership as the album's EXISTS clause, said so that
        // SQLite starts from the album's links: otherwise it walked the
        // capture order of the whole catalog and looked each row up in the
        // album, and an album's first screen read every row older than its
        // members, its count every row there is.
        own.clauses.append(QStringLiteral("media.id IN (SELECT media_id FROM album_media WHERE album_id=?)"));
        own.parameters.append(uuidString(*albumID));
    }
    return {own.clauses.join(QStringLiteral(" AND ")), std::move(own.parameters)};
}

SqlPredicate GalleryScope::predicate(const std::optional<QStringList>& shownSources) const
{
    const SqlPredicate own = scopePredicate();
    const SqlPredicate rules = duplicateRules(shownSources);
    return {own.where + QStringLiteral(" AND ") + rules.where, own.parameters + rules.parameters};
}

SqlPredicate GalleryScope::duplicateRules(const std::optional<QStringList>& shownSources) const
{
    SqlCondition twin = scopeClauses(*this, QStringLiteral("twin"), true);
    // Looked up by its key in an index of the whole catalog, a twin costs a
    // page of that index, read from the disk, for every row: two thousand
    // for the first screen. Within a few shown sources the same lookups
    // touch only their own part of an index that leads with the source. Each
    // source listed costs a lookup of its own, so a longer list is left to
    // the scope's own exclusion of the sources left out.
    QString sameSize = QStringLiteral("twin.file_size=media.file_size");
    if (shownSources && shownSources->size() <= twinsSoughtBySourceUpTo) {
        twin.clauses.append(sqlite::inTextList(QStringLiteral("twin.source_id")));
        twin.parameters.append(sqlite::textList(*shownSources));
        // So that the same-file twin is sought by its date in its source's
        // capture order, not by its size among every row's.
        sameSize.prepend(u'+');
    }
    const QString twinInScope = twin.clauses.join(QStringLiteral(" AND "));

    // The twin wins when it lies in a connected source and the item does not,
    // or when both rank alike and the twin's id is smaller.
    const bool anyOffline = !offlineSources.isEmpty();
    const QString twinRank = offlineRank(QStringLiteral("twin"), anyOffline);
    const QString ownRank = offlineRank(QStringLiteral("media"), anyOffline);
    const QString twinPreferred = u'(' + twinRank + QStringLiteral(" < ") + ownRank + QStringLiteral(" OR (")
                                + twinRank + QStringLiteral(" = ") + ownRank
                                + QStringLiteral(" AND twin.id < media.id))");
    const QString offline = sqlite::textList(uuidStrings(offlineSources));
    const QStringList preferenceParameters =
        anyOffline ? QStringList{offline, offline, offline, offline} : QStringList{};

    // Same content, known by its media key.
    const QString sameContent =
        QStringLiteral("NOT (media.thumbnail_key IS NOT NULL AND EXISTS (SELECT 1 FROM media AS twin\n"
                       "    WHERE twin.thumbnail_key=media.thumbnail_key AND twin.id<>media.id AND ")
        + twinPreferred + QStringLiteral(" AND ") + twinInScope + QStringLiteral("))");
    // The same file seen twice before its media key is known.
    const QString sameFile =
        QStringLiteral("NOT EXISTS (SELECT 1 FROM media AS twin\n"
                       "    WHERE ")
        + sameSize
        + QStringLiteral(" AND twin.kind=media.kind AND twin.captured=media.captured\n"
                         "    AND twin.width=media.width AND twin.height=media.height AND twin.id<>media.id\n"
                         "    AND (twin.thumbnail_key IS NULL OR media.thumbnail_key IS NULL) AND ")
        + twinPreferred + QStringLiteral(" AND ") + twinInScope + u')';
    // An unedited photo next to its edited copy (IMG_1234 beside IMG_E1234).
    const QString editedCopy =
        QStringLiteral(
            "NOT (media.name GLOB 'IMG_[0-9]*' AND EXISTS (SELECT 1 FROM media AS twin\n"
            "    WHERE twin.source_id=media.source_id AND twin.name='IMG_E' || substr(media.name, 5) AND twin.kind=media.kind\n"
            "    AND ifnull(twin.relative_path, twin.name)=substr(ifnull(media.relative_path, media.name), 1, "
            "length(ifnull(media.relative_path, media.name)) - length(media.name)) || twin.name\n"
            "    AND ")
        + twinInScope + QStringLiteral("))");

    SqlPredicate result;
    result.where = QStringList{sameContent, sameFile, editedCopy}.join(QStringLiteral(" AND "));
    result.parameters = preferenceParameters + twin.parameters + preferenceParameters + twin.parameters
                      + twin.parameters;
    return result;
}

} // namespace pivra
