// Reading the update feed and choosing what it offers.
#include "platform/updates/AppcastItem.h"
#include "support/ParamNames.h"

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

struct VersionCase {
    const char* name;
    const char* newer;
    const char* older;
};

class VersionOrderTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionOrderTest, OrdersPieceByPiece)
{
    const QString newer = QString::fromUtf8(GetParam().newer);
    const QString older = QString::fromUtf8(GetParam().older);
    EXPECT_GT(compareVersions(newer, older), 0);
    EXPECT_LT(compareVersions(older, newer), 0);
    EXPECT_EQ(compareVersions(newer, newer), 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionOrderTest,
                         ::testing::Values(VersionCase{"numbers not text", "1.10", "1.9"},
                                           VersionCase{"longer release", "2.0.1", "2.0"},
                                           VersionCase{"release after beta", "2.0", "2.0b1"},
                                           VersionCase{"later beta", "2.0b2", "2.0b1"},
                                           VersionCase{"long digit runs", "1.100000000000000000001", "1.99"},
                                           VersionCase{"leading zeros", "1.010", "1.9"}),
                         rowName);

TEST(VersionOrderTest, TrailingZerosAreTheSameVersion)
{
    EXPECT_EQ(compareVersions(QStringLiteral("1.0.0"), QStringLiteral("1.0")), 0);
    EXPECT_EQ(compareVersions(QStringLiteral("1"), QStringLiteral("1.00.0")), 0);
    EXPECT_LT(compareVersions(QStringLiteral("1.0.0b1"), QStringLiteral("1.0")), 0);
    EXPECT_GT(compareVersions(QStringLiteral("1.0.0.1"), QStringLiteral("1.0")), 0);
}

TEST(AppcastTest, ReadsItemsAndOffersTheNewestNewerOneForThisSystem)
{
    const QByteArray feed = R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:s="https://pivra.app/xml/updates"><channel><title>Pivra</title>
<item><title>2.1</title><s:version>210</s:version><s:shortVersionString>2.1</s:shortVersionString>
  <description><![CDATA[<li>Maps</li>]]></description><pubDate>Tue, 01 Dec 2026 09:30:00 +0000</pubDate>
  <enclosure url="https://pivra.app/2.1.tar.xz" length="4096" type="application/x-xz" s:edSignature="c2ln"/></item>
<item><title>9.0 elsewhere</title><s:version>900</s:version>
  <enclosure url="https://pivra.app/9.tar.xz" length="1" s:edSignature="c2ln" s:os="macos"/></item>
<item><title>unsigned</title><s:version>150</s:version><enclosure url="https://pivra.app/8.tar.xz" length="1"/></item>
<item><title>2.2 notes only</title><s:version>220</s:version><s:informationalUpdate/>
  <link>https://pivra.app/2.2</link></item>
<item><title>old</title><s:version>100</s:version>
  <enclosure url="https://pivra.app/1.tar.xz" length="1" s:edSignature="c2ln" s:os="linux"/></item>
</channel></rss>)";
    const std::vector<AppcastItem> items = parseAppcast(feed);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].displayVersion, QStringLiteral("2.1"));
    EXPECT_EQ(items[0].contentLength, 4096u);
    EXPECT_EQ(items[0].description, QStringLiteral("<li>Maps</li>"));
    EXPECT_EQ(items[0].date, QDateTime(QDate(2026, 12, 1), QTime(9, 30), Qt::UTC));
    EXPECT_EQ(items[3].displayVersion, QStringLiteral("220")) << "the machine version stands in";

    EXPECT_EQ(newestUpdate(items, QStringLiteral("200"))->version, QStringLiteral("220"));
    EXPECT_TRUE(newestUpdate(items, QStringLiteral("200"))->informationOnly);
    EXPECT_EQ(newestUpdate(items, QStringLiteral("215"))->link, QUrl(QStringLiteral("https://pivra.app/2.2")));
    EXPECT_FALSE(newestUpdate(items, QStringLiteral("220")).has_value()) << "not for this system";
    // Offered so that installing it is refused as unverified, not hidden.
    EXPECT_TRUE(newestUpdate(items, QStringLiteral("120"))->edSignature.isEmpty());
    EXPECT_THROW(parseAppcast("<html><body>"), std::runtime_error);
}

} // namespace
} // namespace pivra::test
