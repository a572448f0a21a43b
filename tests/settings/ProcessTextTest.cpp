#include "settings/ProcessText.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace pivra {
namespace {

using Kind = PivraProcess::Kind;
using State = PivraProcess::State;

struct TextCase {
    Kind kind;
    State state;
    int completed;
    std::optional<int> total;
    int failed;
    std::optional<double> ranFor; // seconds from start to end; none while running
    const char* progress;
    const char* result;
};

// Every kind and every state, the noun's agreement and the grouped counts.
TEST(ProcessTextTest, ProgressAndResultOfEveryKindAndState)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const TextCase cases[] = {
        {Kind::indexing, State::running, 0, std::nullopt, 0, std::nullopt, "0 items found", "0 items indexed"},
        {Kind::indexing, State::running, 1, std::nullopt, 0, std::nullopt, "1 item found", "1 item indexed"},
        {Kind::indexing, State::stopped, 1200, std::nullopt, 0, 3, "1,200 items found", "Stopped after 1,200 · 3 s"},
        {Kind::indexing, State::finished, 2, 2, 1, 61, "2 of 2 items · 1 unavailable",
         "2 items indexed · 1 unavailable · 1 min 1 s"},
        {Kind::thumbnails, State::running, 0, 1, 0, std::nullopt, "0 of 1 thumbnail", "0 thumbnails prepared"},
        {Kind::thumbnails, State::finished, 1, 1, 0, 75, "1 of 1 thumbnail", "1 thumbnail prepared · 1 min 15 s"},
        {Kind::thumbnails, State::stopped, 5, 9, 0, 2, "5 of 9 thumbnails", "Stopped after 5 of 9 · 2 s"},
        {Kind::thumbnails, State::failed, 0, 4, 3, 12, "0 of 4 thumbnails · 3 unavailable",
         "Failed · 3 unavailable · 12 s"},
        {Kind::videoPreviews, State::running, 1, 2, 0, std::nullopt, "1 of 2 previews", "1 preview prepared"},
        {Kind::videoPreviews, State::finished, 2, 2, 0, 3600, "2 of 2 previews", "2 previews prepared · 1 h 0 min"},
        {Kind::videoPreviews, State::stopped, 0, 0, 2, 0, "0 of 0 previews · 2 unavailable",
         "Stopped after 0 of 0 · 2 unavailable · 0 s"},
        {Kind::videoPreviews, State::failed, 0, std::nullopt, 0, 1, "0 previews found", "Failed · 1 s"},
        {Kind::locations, State::running, 1, std::nullopt, 0, std::nullopt, "1 item found", "1 item read"},
        {Kind::locations, State::finished, 14000, 14000, 0, 90000, "14,000 of 14,000 items",
         "14,000 items read · 25 h 0 min"},
        {Kind::locations, State::stopped, 3, std::nullopt, 1, 59.9, "3 items found · 1 unavailable",
         "Stopped after 3 · 1 unavailable · 59 s"},
        {Kind::locations, State::failed, 0, std::nullopt, 0, std::nullopt, "0 items found", "Failed"},
    };
    for (const TextCase& row : cases) {
        PivraProcess process{.kind = row.kind,
                             .startedAt = 1'000,
                             .completed = row.completed,
                             .total = row.total,
                             .failed = row.failed,
                             .state = row.state};
        if (row.ranFor) {
            process.finishedAt = process.startedAt + *row.ranFor;
        }
        EXPECT_EQ(ProcessText::progress(process), QString::fromUtf8(row.progress)) << row.result;
        EXPECT_EQ(ProcessText::result(process), QString::fromUtf8(row.result)) << row.progress;
    }
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    const PivraProcess turkish{.kind = Kind::thumbnails, .completed = 1200, .total = 3400};
    EXPECT_EQ(ProcessText::progress(turkish), QStringLiteral("1.200 of 3.400 thumbnails"));
    QLocale::setDefault(before);
}

TEST(ProcessTextTest, DurationsAreTruncatedAndNeverNegative)
{
    const std::pair<double, const char*> cases[] = {{59.9, "59 s"},         {60, "1 min 0 s"},  {3599, "59 min 59 s"},
                                                    {3600, "1 h 0 min"},    {90000, "25 h 0 min"}, {-5, "0 s"},
                                                    {12345.6, "3 h 25 min"}};
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(ProcessText::duration(500, 500 + seconds), QString::fromUtf8(text)) << seconds;
    }
}

} // namespace
} // namespace pivra
