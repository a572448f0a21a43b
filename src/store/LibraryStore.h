#pragma once

#include <QObject>
#include <QString>

namespace pivra {

// The library as the window sees it: the published state lives here, on the
// GUI thread, and every write to it is announced, even when the value did not
// change, so a view never has to compare before it redraws.
class LibraryStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString searchQuery READ searchQuery WRITE setSearchQuery NOTIFY searchQueryChanged)

public:
    explicit LibraryStore(QObject* parent = nullptr);

    QString searchQuery() const { return searchQuery_; }
    void setSearchQuery(const QString& query);

Q_SIGNALS:
    void searchQueryChanged();

private:
    QString searchQuery_;
};

} // namespace pivra
