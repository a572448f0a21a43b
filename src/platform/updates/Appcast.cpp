#include "platform/updates/AppcastItem.h"

#include <QXmlStreamReader>

#include <stdexcept>

namespace pivra {

namespace {

// Reads the attributes of an <enclosure>; the version may sit here instead
// of in an element of its own.
void readEnclosure(const QXmlStreamAttributes& attributes, AppcastItem& item)
{
    for (const QXmlStreamAttribute& attribute : attributes) {
        const QStringView name = attribute.name();
        const QString value = attribute.value().toString().trimmed();
        if (name == u"url") {
            item.url = QUrl(value);
        } else if (name == u"length") {
            item.contentLength = value.toULongLong();
        } else if (name == u"edSignature") {
            item.edSignature = value;
        } else if (name == u"os") {
            item.os = value;
        } else if (name == u"version" && item.version.isEmpty()) {
            item.version = value;
        } else if (name == u"shortVersionString" && item.displayVersion.isEmpty()) {
            item.displayVersion = value;
        }
    }
}

AppcastItem readItem(QXmlStreamReader& xml)
{
    AppcastItem item;
    while (xml.readNextStartElement()) {
        const QStringView name = xml.name();
        if (name == u"enclosure") {
            readEnclosure(xml.attributes(), item);
            xml.skipCurrentElement();
        } else if (name == u"informationalUpdate") {
            item.informationOnly = true;
            xml.skipCurrentElement();
        } else {
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            if (name == u"version") {
                item.version = text;
            } else if (name == u"shortVersionString") {
                item.displayVersion = text;
            } else if (name == u"description") {
                item.description = text;
            } else if (name == u"link") {
                item.link = QUrl(text);
            } else if (name == u"pubDate") {
                const QDateTime date = QDateTime::fromString(text, Qt::RFC2822Date);
                if (date.isValid()) {
                    item.date = date;
                }
            }
        }
    }
    if (item.displayVersion.isEmpty()) {
        item.displayVersion = item.version;
    }
    return item;
}

struct VersionPiece {
    bool isNumber;
    QString text;
};

// Runs of digits and runs of letters; anything else only separates them.
std::vector<VersionPiece> versionPieces(const QString& version)
{
    std::vector<VersionPiece> pieces;
    bool inRun = false;
    for (const QChar c : version) {
        if (!c.isLetterOrNumber()) {
            inRun = false;
            continue;
        }
        const bool digit = c.isDigit();
        if (!inRun || pieces.back().isNumber != digit) {
            pieces.push_back({digit, QString()});
        }
        pieces.back().text += c;
        inRun = true;
    }
    return pieces;
}

int compareNumbers(QString a, QString b)
{
    while (a.size() > 1 && a.front() == u'0') {
        a.remove(0, 1);
    }
    while (b.size() > 1 && b.front() == u'0') {
        b.remove(0, 1);
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

int compareVersions(const QString& a, const QString& b)
{
    const std::vector<VersionPiece> x = versionPieces(a);
    const std::vector<VersionPiece> y = versionPieces(b);
    const std::size_t common = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (x[i].isNumber != y[i].isNumber) {
            return x[i].isNumber ? 1 : -1; // a release is newer than a pre-release
        }
        const int order = x[i].isNumber ? compareNumbers(x[i].text, y[i].text) : x[i].text.compare(y[i].text);
        if (order != 0) {
            return sign(order);
        }
    }
    // What the longer adds: zeros change nothing ("1.0.0" is "1.0"), a
    // letter run starts a pre-release, any other number makes it newer.
    const std::vector<VersionPiece>& longer = x.size() > y.size() ? x : y;
    for (std::size_t i = common; i < longer.size(); ++i) {
        if (!longer[i].isNumber || compareNumbers(longer[i].text, QStringLiteral("0")) != 0) {
            const int order = longer[i].isNumber ? 1 : -1;
            return x.size() > y.size() ? order : -order;
        }
    }
    return 0;
}

std::vector<AppcastItem> parseAppcast(const QByteArray& text)
{
    QXmlStreamReader xml(text);
    std::vector<AppcastItem> items;
    if (!xml.readNextStartElement() || xml.name() != u"rss") {
        throw std::runtime_error("not an RSS feed");
    }
    while (xml.readNextStartElement()) {
        if (xml.name() != u"channel") {
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            if (xml.name() == u"item") {
                items.push_back(readItem(xml));
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    if (xml.hasError()) {
        throw std::runtime_error(xml.errorString().toStdString());
    }
    return items;
}

std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items, const QString& installed)
{
    std::optional<AppcastItem> newest;
    for (const AppcastItem& item : items) {
        const bool applies = item.os.isEmpty() || item.os == u"linux";
        // An unsigned item still counts: offering it is refused later, so
        // the user hears that it could not be verified, not "up to date".
        const bool complete = item.informationOnly || item.url.isValid();
        if (!applies || !complete || item.version.isEmpty() || compareVersions(item.version, installed) <= 0) {
            continue;
        }
        if (!newest || compareVersions(item.version, newest->version) > 0) {
            newest = item;
        }
    }
    return newest;
}

} // namespace pivra
