#pragma once

#include "platform/cameras/CameraBackend.h"

#include <QHash>
#include <QSet>
#include <QString>

namespace pivra {

// What the headers of a device's files said, kept across its connections in
// one file per device, so that a phone plugged in again has only its new
// files read. A description holds while the device lists the file under the
// same folder and name with the same size and time.
//
// Used on the device's worker only.
class CameraDescriptions {
public:
    // Kept in `file`, read on first use; with an empty name, for this
    // connection only.
    explicit CameraDescriptions(QString file);

    // `listed` completed from its description; false when there is none
    // that holds.
    bool complete(CameraFileInfo& listed);
    void keep(const CameraFileInfo& described);
    // Forgets the files a complete listing no longer has.
    void keepOnly(const QSet<QString>& keys);
    // Writes the file when anything changed since it was read.
    void save();

    static QString key(const CameraFileInfo& file);

private:
    void load();

    const QString file_;
    bool loaded_ = false;
    bool changed_ = false;
    QHash<QString, CameraFileInfo> described_;
};

} // namespace pivra
