#pragma once

#include <QWidget>

#include <cstdint>

class QLabel;

namespace pivra {

// The top of the Storage tab: the total the caches take, and a bar and a
// legend splitting it between thumbnails (accent) and video previews (accent
// at 0.4). Until anything is counted the total reads "—" and the thumbnail
// part fills the bar.
class StorageUsage final : public QWidget {
    Q_OBJECT

public:
    explicit StorageUsage(QWidget* parent = nullptr);

    // Thumbnail and preview bytes; `counted` false while nothing is known.
    void show(std::int64_t thumbnails, std::int64_t previews, bool counted);

    QLabel* totalLabel() const { return total_; }
    // The thumbnail part's share of the bar: 1 when nothing is stored.
    double thumbnailFraction() const;

private:
    QLabel* total_;
    QLabel* thumbnailBytes_;
    QLabel* previewBytes_;
    class Bar;
    Bar* bar_;
};

} // namespace pivra
