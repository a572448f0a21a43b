#include "catalog/scan/ScanFingerprints.h"

#include <gtest/gtest.h>

#include <string>

namespace pivra::test {
namespace {

enum class By { id, relative };

struct Lookup {
    By by;
    QString key;
    std::optional<QString> foundID; // the row's id; none when absent
    std::int64_t fileSize = 0;      // the found row's
};

std::optional<QString> idFound(const ScanFingerprints& set, const Lookup& lookup, std::int64_t& fileSize)
{
    if (lookup.by == By::relative) {
        const std::optional<RelativeFingerprint> found = set.byRelative(lookup.key);
        fileSize = found ? found->fingerprint.fileSize : 0;
        return found ? std::optional(found->id) : std::nullopt;
    }
    const std::optional<KnownRow> found = set.rowByID(lookup.key.toStdString());
    fileSize = found ? found->fingerprint.fileSize : 0;
    return found ? std::optional(lookup.key) : std::nullopt;
}

TEST(ScanFingerprints, FindsRowsByTheBytesOfTheirIdOrRelativePath)
{
    ScanFingerprints::Builder builder;
    builder.add("S:/lib/İstanbul/ğüşı.jpg", "İstanbul/ğüşı.jpg", {1, 1, true});
    builder.add("S:/lib/café.jpg", "café.jpg", {1, 2, false});       // composed é
    builder.add("S:/lib/cafe\u0301.jpg", "cafe\u0301.jpg", {1, 3, false}); // decomposed
    builder.add("S:/old/a.jpg", "moved/a.jpg", {1, 4, false});       // not the id's end
    builder.add("S:/none.jpg", "", {1, 5, false});
    builder.add("S:/x/dup.jpg", "dup.jpg", {1, 6, false});
    builder.add("S:/y/dup.jpg", "dup.jpg", {1, 7, false});
    builder.add("S:/twice.jpg", "twice.jpg", {1, 8, false});
    builder.add("S:/twice.jpg", "twice.jpg", {1, 9, true});
    const std::string longer(70000, 'x'); // longer than a block of the arena
    builder.add("S:/" + longer, longer, {1, 10, false});
    builder.addToInspect("S:/lib/unread.jpg");
    const ScanFingerprints set = std::move(builder).build();

    const std::vector<Lookup> lookups{
        {By::id, QStringLiteral("S:/lib/İstanbul/ğüşı.jpg"), QStringLiteral("S:/lib/İstanbul/ğüşı.jpg"), 1},
        {By::relative, QStringLiteral("İstanbul/ğüşı.jpg"), QStringLiteral("S:/lib/İstanbul/ğüşı.jpg"), 1},
        {By::relative, QStringLiteral("istanbul/ğüşı.jpg"), std::nullopt},
        {By::id, QStringLiteral("S:/lib/İstanbul/ğüşı.jp"), std::nullopt},
        {By::relative, QStringLiteral("café.jpg"), QStringLiteral("S:/lib/café.jpg"), 2},
        {By::relative, QStringLiteral("cafe\u0301.jpg"), QStringLiteral("S:/lib/cafe\u0301.jpg"), 3},
        {By::id, QStringLiteral("S:/lib/cafe\u0301.jpg"), QStringLiteral("S:/lib/cafe\u0301.jpg"), 3},
        {By::relative, QStringLiteral("moved/a.jpg"), QStringLiteral("S:/old/a.jpg"), 4},
        {By::relative, QStringLiteral("a.jpg"), std::nullopt},
        {By::id, QStringLiteral("S:/old/a.jpg"), QStringLiteral("S:/old/a.jpg"), 4},
        {By::id, QStringLiteral("S:/none.jpg"), QStringLiteral("S:/none.jpg"), 5},
        {By::relative, QString(), std::nullopt},
        {By::id, QString(), std::nullopt},
        {By::relative, QStringLiteral("dup.jpg"), QStringLiteral("S:/y/dup.jpg"), 7},
        {By::id, QStringLiteral("S:/x/dup.jpg"), QStringLiteral("S:/x/dup.jpg"), 6},
        {By::id, QStringLiteral("S:/twice.jpg"), QStringLiteral("S:/twice.jpg"), 9},
        {By::id, QStringLiteral("S:/missing.jpg"), std::nullopt},
        {By::relative, QString(70000, u'x'), QStringLiteral("S:/") + QString(70000, u'x'), 10},
        {By::id, QStringLiteral("S:/lib/unread.jpg"), std::nullopt}, // to inspect: listed, never unchanged
        {By::relative, QStringLiteral("unread.jpg"), std::nullopt},
    };
    for (const Lookup& lookup : lookups) {
        std::int64_t fileSize = 0;
        EXPECT_EQ(idFound(set, lookup, fileSize), lookup.foundID) << lookup.key.left(40).toStdString();
        EXPECT_EQ(fileSize, lookup.fileSize) << lookup.key.left(40).toStdString();
    }
    EXPECT_TRUE(set.rowByID("S:/twice.jpg")->fingerprint.liveChecked);
    ASSERT_EQ(set.rowCount(), 11);
    EXPECT_EQ(set.idAt(10), QStringLiteral("S:/lib/unread.jpg"));
    const std::optional<KnownRow> moved = set.rowByID("S:/old/a.jpg");
    ASSERT_TRUE(moved);
    EXPECT_EQ(set.idAt(moved->row), QStringLiteral("S:/old/a.jpg"));
    EXPECT_TRUE(set.relativeIs(moved->row, "moved/a.jpg"));
    EXPECT_FALSE(set.relativeIs(moved->row, "a.jpg"));
    EXPECT_FALSE(set.relativeIs(set.rowByID("S:/none.jpg")->row, "none.jpg"));
    EXPECT_FALSE(ScanFingerprints().rowByID("S:/none.jpg"));
    EXPECT_FALSE(ScanFingerprints::Builder().build().byRelative(QStringLiteral("dup.jpg")));
}

// A row's id is found whatever pieces it is asked for in, whether the row
// keeps its relative path under a head it shares (the root it was scanned
// from, spelled either way), or its whole id (one that does not end with its
// relative path, or under more roots than the shared list takes).
TEST(ScanFingerprints, EachFormOfIdIsFoundInAnyPiecesAndByItsRelativePath)
{
    struct Row {
        std::string id;
        std::string relative;
        bool toInspect = false;
    };
    std::vector<Row> rows{
        {"U:/home/ann/Pictures/2024/a.jpg", "2024/a.jpg"},
        {"U:/home/ann/Pictures/Zürich/straße.jpg", "Zürich/straße.jpg"},
        {"U:/mnt/pics/2024/a.jpg", "2024/a.jpg"},            // the other spelling of the root, added later
        {"U:/old/place/b.jpg", "2024/b.jpg"},                // an id that does not end with its path
        {"U:/home/ann/Pictures/2024/c.jpg", "c.jpg"},        // the same bytes split under another head
        {"U:/home/ann/x.jpg", ""},                           // no relative path
        {"U:/home/ann/Pictures/2024/d.jpg", "", true},      // listed to inspect again
    };
    for (int root = 0; root < 20; ++root) { // more roots than heads are shared
        rows.push_back({"U:/r" + std::to_string(root) + "/e.jpg", "e.jpg"});
    }
    ScanFingerprints::Builder builder;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].toInspect) {
            builder.addToInspect(rows[row].id);
        } else {
            builder.add(rows[row].id, rows[row].relative, {0, std::int64_t(row), false});
        }
    }
    const ScanFingerprints set = std::move(builder).build();

    ASSERT_EQ(set.rowCount(), rows.size());
    for (std::uint32_t row = 0; row < rows.size(); ++row) {
        const std::string& id = rows[row].id;
        EXPECT_EQ(set.idAt(row), QString::fromStdString(id));
        for (std::size_t split = 0; split <= id.size(); ++split) {
            const std::optional<KnownRow> found = set.rowByID(id.substr(0, split), id.substr(split));
            ASSERT_EQ(found.has_value(), !rows[row].toInspect) << id << " split at " << split;
            if (found) {
                EXPECT_EQ(found->row, row) << id << " split at " << split;
                EXPECT_TRUE(set.relativeIs(row, rows[row].relative)) << id;
            }
        }
    }

    const std::vector<std::pair<QString, std::optional<std::string>>> byRelative{
        {QStringLiteral("2024/a.jpg"), "U:/mnt/pics/2024/a.jpg"},
        {QStringLiteral("Zürich/straße.jpg"), "U:/home/ann/Pictures/Zürich/straße.jpg"},
        {QStringLiteral("2024/b.jpg"), "U:/old/place/b.jpg"},
        {QStringLiteral("b.jpg"), std::nullopt},
        {QStringLiteral("c.jpg"), "U:/home/ann/Pictures/2024/c.jpg"},
        {QStringLiteral("2024/c.jpg"), std::nullopt},
        {QStringLiteral("x.jpg"), std::nullopt},
        {QStringLiteral("2024/d.jpg"), std::nullopt},
        {QStringLiteral("e.jpg"), "U:/r19/e.jpg"},
        {QStringLiteral("zürich/straße.jpg"), std::nullopt},
    };
    for (const auto& [relative, id] : byRelative) {
        const std::optional<RelativeFingerprint> found = set.byRelative(relative);
        EXPECT_EQ(found ? std::optional(found->id.toStdString()) : std::nullopt, id) << relative.toStdString();
    }
    for (const std::string missing : {"U:/home/ann/Pictures/2024/a.jpG", "U:/home/ann/Pictures/2024/", "U:/r19/",
                                      "U:/home/ann/Pictures/2024/a.jpg/", ""}) {
        EXPECT_FALSE(set.rowByID(missing)) << missing;
    }
}

// Enough rows that many keys share their first slot and probe on.
TEST(ScanFingerprints, EveryOneOfManyRowsIsFoundByBothKeys)
{
    constexpr int count = 50000;
    const auto id = [](int row) { return "S:/lib/" + std::to_string(row) + ".jpg"; };
    // Odd rows have a relative path of their own; even rows share the id's end.
    const auto relative = [](int row) { return (row % 2 ? "r/" : "") + std::to_string(row) + ".jpg"; };
    ScanFingerprints::Builder builder;
    for (int row = 0; row < count; ++row) {
        builder.add(id(row), relative(row), {0, row, false});
    }
    const ScanFingerprints set = std::move(builder).build();

    for (int row = 0; row < count; ++row) {
        const std::optional<KnownRow> byID = set.rowByID(id(row));
        const std::optional<RelativeFingerprint> byRelative = set.byRelative(QString::fromStdString(relative(row)));
        ASSERT_TRUE(byID && byRelative) << row;
        EXPECT_EQ(byID->fingerprint.fileSize, row);
        EXPECT_EQ(byRelative->id.toStdString(), id(row));
        EXPECT_FALSE(set.byRelative(QString::fromStdString("s/" + std::to_string(row) + ".jpg")));
    }
}

} // namespace
} // namespace pivra::test
