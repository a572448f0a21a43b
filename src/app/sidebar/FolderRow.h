#pragma once

#include "app/sidebar/SidebarRow.h"

namespace pivra {

// A folder in a source's tree: indented by its depth, with a chevron that
// opens or closes its branch when it has subfolders (and the chevron's
// space kept when it has none, so names line up).
class FolderRow final : public SidebarRow {
    Q_OBJECT

public:
    FolderRow(const QString& name, int depth, std::optional<bool> open, QWidget* parent = nullptr);

    // The chevron; none for a folder without subfolders.
    QAbstractButton* chevron() const { return chevron_; }
    // Turns the chevron of a folder with subfolders to its branch's state.
    void setOpen(bool open);
    static int indentation(int depth) { return 37 + 14 * depth; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QAbstractButton* chevron_ = nullptr;
};

} // namespace pivra
