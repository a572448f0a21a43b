#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace pivra {

// The folders of one source as a tree over the flat list the store keeps
// (every ancestor folder of every item, relative to the root, "/"-joined).
// The list can hold thousands of folders, so children are indexed once per
// list instead of found by scanning it for every row shown.
class FolderTree {
public:
    FolderTree() = default;
    explicit FolderTree(const QStringList& folders);

    // The folders directly under `parent` ("" for the root), in list order.
    // A child belongs to the parent that is exactly the text before its last
    // "/", so folders differing only in case keep their own children.
    QStringList children(const QString& parent) const { return children_.value(parent); }
    // Whether some folder lies below `path`.
    bool hasChildren(const QString& path) const { return ancestors_.contains(path); }

    // The last non-empty component of `path`, or `path` itself, as shown
    // (a name that is not UTF-8 read as Windows-1252).
    static QString name(const QString& path);
    // The key of an open folder in the sidebar's expansion set: the source's
    // upper-case id, ":" and the path, so equal paths of two sources open
    // and close on their own.
    static QString expansionKey(const QUuid& sourceID, const QString& path);

private:
    QHash<QString, QStringList> children_;
    QSet<QString> ancestors_;
};

} // namespace pivra
