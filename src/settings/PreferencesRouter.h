#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <optional>

namespace pivra {

// The one place through which any part of the program asks for the
// preferences window at a pane. It holds only the request; the window's
// presenter observes it. GUI thread only.
class PreferencesRouter final : public QObject {
    Q_OBJECT

public:
    enum class Pane { general, storage, processes };
    static constexpr std::array<Pane, 3> allPanes{Pane::general, Pane::storage, Pane::processes};

    // "General", "Storage", "Processes": also the tab titles.
    static QString rawValue(Pane pane);
    // Exact match only: "general" is no pane.
    static std::optional<Pane> paneFromRawValue(const QString& raw);

    explicit PreferencesRouter(QObject* parent = nullptr);

    // The program's router, made on first use; it lives as long as the
    // application.
    static PreferencesRouter& shared();

    const std::optional<Pane>& request() const { return request_; }

    // Every write is announced, also one that repeats the pane held: asking
    // twice for the same pane must open the window twice.
    void setRequest(std::optional<Pane> pane);

Q_SIGNALS:
    void requestWritten(std::optional<pivra::PreferencesRouter::Pane> request);

private:
    std::optional<Pane> request_;
};

} // namespace pivra
