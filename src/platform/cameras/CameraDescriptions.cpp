#include "platform/cameras/CameraDescriptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace pivra {
namespace {

// A description file larger than this is no file of ours.
constexpr qint64 maxFileBytes = 256 * 1024 * 1024;

QJsonValue number(const std::optional<double>& value) { return value ? QJsonValue(*value) : QJsonValue(); }

std::optional<double> number(const QJsonValue& value)
{
    return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
}

QJsonObject toJson(const CameraFileInfo& file)
{
    return {{QStringLiteral("folder"), file.folder},
            {QStringLiteral("name"), file.name},
            {QStringLiteral("size"), file.size ? QJsonValue(double(*file.size)) : QJsonValue()},
            {QStringLiteral("modified"), number(file.modificationDate)},
            {QStringLiteral("width"), file.width},
            {QStringLiteral("height"), file.height},
            {QStringLiteral("orientation"), file.orientation},
            {QStringLiteral("captured"), number(file.exifCreationDate)},
            {QStringLiteral("duration"), number(file.duration)}};
}

CameraFileInfo fromJson(const QJsonObject& object)
{
    CameraFileInfo file;
    file.folder = object.value(QStringLiteral("folder")).toString();
    file.name = object.value(QStringLiteral("name")).toString();
    if (const std::optional<double> size = number(object.value(QStringLiteral("size")))) {
        file.size = std::int64_t(*size);
    }
    file.modificationDate = number(object.value(QStringLiteral("modified")));
    file.width = std::max(0, object.value(QStringLiteral("width")).toInt());
    file.height = std::max(0, object.value(QStringLiteral("height")).toInt());
    file.orientation = std::clamp(object.value(QStringLiteral("orientation")).toInt(1), 1, 8);
    file.exifCreationDate = number(object.value(QStringLiteral("captured")));
    file.duration = number(object.value(QStringLiteral("duration")));
    return file;
}

} // namespace

CameraDescriptions::CameraDescriptions(QString file) : file_(std::move(file)) {}

QString CameraDescriptions::key(const CameraFileInfo& file) { return file.folder + u'/' + file.name; }

bool CameraDescriptions::complete(CameraFileInfo& listed)
{
    load();
    const auto known = described_.constFind(key(listed));
    if (known == described_.cend() || known->size != listed.size ||
        known->modificationDate != listed.modificationDate) {
        return false;
    }
    listed.width = known->width;
    listed.height = known->height;
    listed.orientation = known->orientation;
    listed.exifCreationDate = known->exifCreationDate;
    listed.duration = known->duration;
    return true;
}

void CameraDescriptions::keep(const CameraFileInfo& described)
{
    load();
    described_.insert(key(described), described);
    changed_ = true;
}

void CameraDescriptions::keepOnly(const QSet<QString>& keys)
{
    load();
    changed_ = described_.removeIf([&keys](const auto& entry) { return !keys.contains(entry.key()); }) > 0 || changed_;
}

void CameraDescriptions::save()
{
    if (file_.isEmpty() || !std::exchange(changed_, false)) {
        return;
    }
    QJsonArray files;
    for (const CameraFileInfo& file : std::as_const(described_)) {
        files.append(toJson(file));
    }
    QDir().mkpath(QFileInfo(file_).path());
    QSaveFile saved(file_);
    if (!saved.open(QIODevice::WriteOnly) ||
        saved.write(QJsonDocument(QJsonObject{{QStringLiteral("version"), 1}, {QStringLiteral("files"), files}})
                        .toJson(QJsonDocument::Compact)) < 0 ||
        !saved.commit()) {
        qWarning("Could not keep the descriptions of a device's files in %s", qUtf8Printable(file_));
    }
}

void CameraDescriptions::load()
{
    if (std::exchange(loaded_, true) || file_.isEmpty()) {
        return;
    }
    QFile stored(file_);
    if (!stored.open(QIODevice::ReadOnly) || stored.size() > maxFileBytes) {
        return;
    }
    const QJsonObject root = QJsonDocument::fromJson(stored.readAll()).object();
    if (root.value(QStringLiteral("version")).toInt() != 1) {
        return; // unreadable or of another version: read the headers again
    }
    for (const QJsonValue& value : root.value(QStringLiteral("files")).toArray()) {
        const CameraFileInfo file = fromJson(value.toObject());
        if (!file.name.isEmpty()) {
            described_.insert(key(file), file);
        }
    }
}

} // namespace pivra
