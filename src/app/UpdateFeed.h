#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// A release number such as "1.2.0": one to four parts of at most six digits each,
// separated by dots. Parts left out count as zero, so "1.2" and "1.2.0" are equal.
class AppVersion {
public:
    // No value for text that is not a release number (letters, signs, empty parts,
    // more than four parts, white space around it is allowed).
    static std::optional<AppVersion> parse(const QString& text);

    QString toString() const;
    // Negative, zero or positive as this release is older than, the same as or newer
    // than other.
    int compare(const AppVersion& other) const;

    friend bool operator==(const AppVersion& a, const AppVersion& b) { return a.compare(b) == 0; }
    friend bool operator<(const AppVersion& a, const AppVersion& b) { return a.compare(b) < 0; }

private:
    static constexpr int maxParts = 4;
    QList<int> m_parts;
};

// One release announced by the update feed.
struct UpdateRelease {
    AppVersion version;
    // Where the release is downloaded or described; always http or https.
    QUrl link;
};

// Reads the update feed, an RSS 2.0 document whose items each announce one release:
//
//   <rss version="2.0" xmlns:keyloft="urn:keyloft:update-feed:1">
//     <channel>
//       <title>Keyloft releases</title>
//       <item>
//         <title>Keyloft 1.2.0</title>
//         <keyloft:version>1.2.0</keyloft:version>
//         <link>https://downloads.example.org/keyloft/1.2.0/</link>
//       </item>
//     </channel>
//   </rss>
//
// The feed comes from the network and is not trusted. The document must be well-formed
// XML with <rss> at its root; a document type declaration (and with it every entity
// declaration) makes the feed invalid. An item counts only when its version is a
// release number (AppVersion) and its link an absolute http or https address; other
// items are passed over. Titles and any other elements are ignored.
class UpdateFeed {
public:
    // The newest release of the feed, or the reason the feed is unusable in
    // errorString() (not XML, wrong root, no usable item).
    static std::optional<UpdateRelease> newestRelease(const QByteArray& document,
                                                      QString* errorString);

    // The namespace of the feed's own elements.
    static QString namespaceUri();
};
