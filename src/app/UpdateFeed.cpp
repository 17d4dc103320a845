#include "app/UpdateFeed.h"

#include "settings/WebLinks.h"

#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>

// --- AppVersion ---------------------------------------------------------------------------

std::optional<AppVersion> AppVersion::parse(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,6}(\\.[0-9]{1,6}){0,3}$"));
    const QString trimmed = text.trimmed();
    if (!form.match(trimmed).hasMatch()) {
        return std::nullopt;
    }
    AppVersion version;
    for (const QString& part : trimmed.split(QLatin1Char('.'))) {
        version.m_parts.append(part.toInt());
    }
    return version;
}

QString AppVersion::toString() const
{
    QStringList parts;
    for (const int part : m_parts) {
        parts.append(QString::number(part));
    }
    return parts.join(QLatin1Char('.'));
}

int AppVersion::compare(const AppVersion& other) const
{
    for (int i = 0; i < maxParts; ++i) {
        const int mine = m_parts.value(i, 0);
        const int theirs = other.m_parts.value(i, 0);
        if (mine != theirs) {
            return mine < theirs ? -1 : 1;
        }
    }
    return 0;
}

// --- UpdateFeed ---------------------------------------------------------------------------

namespace {

// Only addresses a browser may be sent to.
std::optional<QUrl> releaseLink(const QString& text)
{
    const QUrl link(text.trimmed(), QUrl::StrictMode);
    if (!WebLinks::isWebAddress(link)) {
        return std::nullopt;
    }
    return link;
}

class FeedReader {
public:
    explicit FeedReader(const QByteArray& document) : m_xml(document) {}

    // Every usable release of the document; false with the reason when it is not a feed.
    bool read(QList<UpdateRelease>& releases, QString& error)
    {
        if (!nextElement() || m_xml.name() != QStringLiteral("rss")) {
            error = m_xml.hasError() ? m_xml.errorString()
                                     : QStringLiteral("the document is not an RSS feed");
            return false;
        }
        while (nextElement()) {
            if (m_xml.name() == QStringLiteral("item")) {
                readItem(releases);
            } else if (m_xml.name() != QStringLiteral("channel")) {
                m_xml.skipCurrentElement();
            }
        }
        if (m_xml.hasError()) {
            error = m_xml.errorString();
            return false;
        }
        return true;
    }

private:
    // Moves to the next start element; false at the end of the document or on an error.
    // A document type declaration is an error: the feed has no use for entities.
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::DTD) {
                m_xml.raiseError(QStringLiteral("the feed declares a document type"));
                return false;
            }
            if (token == QXmlStreamReader::StartElement) {
                return true;
            }
        }
        return false;
    }

    void readItem(QList<UpdateRelease>& releases)
    {
        QString versionText;
        QString linkText;
        while (m_xml.readNextStartElement()) {
            const bool ours = m_xml.namespaceUri() == UpdateFeed::namespaceUri();
            if (ours && m_xml.name() == QStringLiteral("version")) {
                versionText = m_xml.readElementText();
            } else if (m_xml.namespaceUri().isEmpty() && m_xml.name() == QStringLiteral("link")) {
                linkText = m_xml.readElementText();
            } else {
                m_xml.skipCurrentElement();
            }
        }
        const std::optional<AppVersion> version = AppVersion::parse(versionText);
        const std::optional<QUrl> link = releaseLink(linkText);
        if (version && link && !m_xml.hasError()) {
            releases.append({*version, *link});
        }
    }

    QXmlStreamReader m_xml;
};

} // namespace

QString UpdateFeed::namespaceUri()
{
    return QStringLiteral("urn:keyloft:update-feed:1");
}

std::optional<UpdateRelease> UpdateFeed::newestRelease(const QByteArray& document,
                                                       QString* errorString)
{
    QList<UpdateRelease> releases;
    QString error;
    if (FeedReader(document).read(releases, error) && releases.isEmpty()) {
        error = QStringLiteral("the feed announces no release");
    }
    if (releases.isEmpty() || !error.isEmpty()) {
        if (errorString) {
            *errorString = error;
        }
        return std::nullopt;
    }
    return *std::max_element(
        releases.begin(), releases.end(),
        [](const UpdateRelease& a, const UpdateRelease& b) { return a.version < b.version; });
}
