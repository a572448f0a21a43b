#pragma once

#include "catalog/model/Timestamp.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace pivra {

// One run of a background pipeline of the library store, as the Processes tab
// lists it. A plain value: the monitor compares records over every field to
// tell an update that moved something from one that did not.
struct PivraProcess {
    enum class Kind { indexing, thumbnails, videoPreviews, locations };
    enum class State { running, finished, stopped, failed };

    QUuid id; // fresh for every run
    Kind kind = Kind::indexing;
    QString detail; // one line on what the run works on
    Timestamp startedAt = 0;
    std::optional<Timestamp> finishedAt; // absent while running
    int completed = 0; // items done; for location reading, rows written
    std::optional<int> total; // absent when the pipeline cannot know it in advance
    int failed = 0;
    State state = State::running;

    bool operator==(const PivraProcess&) const = default;
};

} // namespace pivra
