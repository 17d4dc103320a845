#pragma once

#include "platform/Clock.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// The longest notes an entry may have, in UTF-16 code units: the edit window cuts
// longer ones (after telling the user) and keyloft-cli refuses them.
inline constexpr qsizetype notesLimit = 2000;

// One password entry in memory: its identity, the texts the user sees and
// edits, and the numbers that order and count entries.
class NetKeyloft_Item {
public:
    static const QString defaultUserName;
    static const QString defaultPassword;
    static const QString defaultComments;
    // Joins the pieces of the encoded attribute string.
    static const QString attributeSeparator;

    // A new entry, created now by clock; empty or absent texts become their placeholders.
    static NetKeyloft_Item initWithLabelUserNamePasswordCommentsIndex(
        const QString& label, const QString& userName, const QString& password,
        const QString& comments, std::int32_t index, const Clock& clock = Clock::system());
    // A new entry with the three placeholder texts, created now by clock.
    static NetKeyloft_Item initWithLabelIndex(const QString& label, std::int32_t index,
                                              const Clock& clock = Clock::system());
    // An entry read back from a keychain: no placeholders, no password.
    static NetKeyloft_Item initDeserialize(const QString& label, const QString& userName,
                                           const QString& comments, const QString& uuid,
                                           const QString& extendedAttr,
                                           const QDateTime& modifiedDate,
                                           const QDateTime& createdDate);

    const QString& uuid() const { return m_uuid; }
    void setUuid(const QString& uuid) { m_uuid = uuid; }
    const QString& label() const { return m_label; }
    void setLabel(const QString& label) { m_label = label; }
    const QString& userName() const { return m_userName; }
    void setUserName(const QString& userName) { m_userName = userName; }
    // Absent for entries read from a keychain until a setter gives it a value.
    const std::optional<QString>& password() const { return m_password; }
    void setPassword(const std::optional<QString>& password);
    // Wipes the password held in memory (where no other text shares it) and makes it
    // absent.
    void forgetPassword();
    const QString& comments() const { return m_comments; }
    void setComments(const QString& comments) { m_comments = comments; }
    std::int32_t index() const { return m_index; }
    void setIndex(std::int32_t index) { m_index = index; }
    std::int32_t countUsed() const { return m_countUsed; }
    void setCountUsed(std::int32_t countUsed) { m_countUsed = countUsed; }
    // A null QDateTime stands for a date that could not be read.
    const QDateTime& dateCreated() const { return m_dateCreated; }
    void setDateCreated(const QDateTime& date) { m_dateCreated = date; }
    const QDateTime& dateModified() const { return m_dateModified; }
    void setDateModified(const QDateTime& date) { m_dateModified = date; }

    void setCountUsedPlus1();

    bool hasDefaultUserName() const;
    bool hasDefaultPassword() const;
    bool hasDefaultComments() const;

    bool isEqualToLabel(const std::optional<QString>& label) const;
    bool isEqualToUuid(const QString& uuid) const;
    // Two records are the same entry exactly when their UUIDs are equal.
    bool isEqual(const NetKeyloft_Item& other) const;

    // Every field, the password in clear: for diagnostics only, never for logs.
    QString description() const;

    // uuid, separator, index, separator, countUsed.
    QString encodedAttributes() const;
    // Takes index and countUsed from an encoded attribute string with exactly
    // three pieces; leaves them alone otherwise.
    void parseAttributes(const QString& attributes);
    // The first piece of an encoded attribute string, or the empty string.
    static QString uuidFromAttributes(const QString& attributes);

private:
    NetKeyloft_Item() = default;

    QString m_uuid;
    QString m_label;
    QString m_userName;
    std::optional<QString> m_password;
    QString m_comments;
    std::int32_t m_index = 0;
    std::int32_t m_countUsed = 0;
    QDateTime m_dateCreated;
    QDateTime m_dateModified;
};

// Records are shared between the list and the views that show them.
using ItemPtr = std::shared_ptr<NetKeyloft_Item>;

// Reads the integer at the start of text the way C's string-to-int conversion
// does: leading white space, an optional sign, then digits up to the first
// non-digit; no digits give 0, values beyond 32 bits are clamped.
std::int32_t leadingIntValue(const QString& text);
std::int32_t leadingIntValue(QStringView text);
