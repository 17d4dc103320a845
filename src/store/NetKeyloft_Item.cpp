#include "store/NetKeyloft_Item.h"

#include "platform/SecretBytes.h"

#include "store/NetKeyloftStringUtils.h"

#include <limits>

const QString NetKeyloft_Item::defaultUserName = QStringLiteral("User account not entered yet.");
const QString NetKeyloft_Item::defaultPassword = QStringLiteral("Password not entered yet.");
const QString NetKeyloft_Item::defaultComments = QStringLiteral("Notes:");
const QString NetKeyloft_Item::attributeSeparator = QStringLiteral("<<NKL>>");

namespace {

QString orPlaceholder(const QString& value, const QString& placeholder)
{
    return value.isEmpty() ? placeholder : value;
}

} // namespace

NetKeyloft_Item NetKeyloft_Item::initWithLabelUserNamePasswordCommentsIndex(
    const QString& label, const QString& userName, const QString& password, const QString& comments,
    std::int32_t index, const Clock& clock)
{
    NetKeyloft_Item item = initWithLabelIndex(label, index, clock);
    item.m_userName = orPlaceholder(userName, defaultUserName);
    item.m_password = orPlaceholder(password, defaultPassword);
    item.m_comments = orPlaceholder(comments, defaultComments);
    return item;
}

NetKeyloft_Item NetKeyloft_Item::initWithLabelIndex(const QString& label, std::int32_t index,
                                                    const Clock& clock)
{
    NetKeyloft_Item item;
    item.m_label = label;
    item.m_userName = defaultUserName;
    item.m_password = defaultPassword;
    item.m_comments = defaultComments;
    item.m_uuid = NetKeyloftStringUtils::uuid();
    item.m_index = index;
    item.m_countUsed = 1;
    item.m_dateCreated = clock.nowUtc();
    item.m_dateModified = item.m_dateCreated;
    return item;
}

NetKeyloft_Item NetKeyloft_Item::initDeserialize(const QString& label, const QString& userName,
                                                 const QString& comments, const QString& uuid,
                                                 const QString& extendedAttr,
                                                 const QDateTime& modifiedDate,
                                                 const QDateTime& createdDate)
{
    NetKeyloft_Item item;
    item.m_label = label;
    item.m_userName = userName;
    item.m_comments = comments;
    item.m_uuid = uuid;
    item.parseAttributes(extendedAttr);
    item.m_dateCreated = createdDate;
    item.m_dateModified = modifiedDate;
    return item;
}

void NetKeyloft_Item::setPassword(const std::optional<QString>& password)
{
    m_password = password;
}

void NetKeyloft_Item::forgetPassword()
{
    // data() copies a text shared with another one first: only the record's own copy
    // can be wiped here, the other holder's goes when it lets go of it.
    if (m_password && !m_password->isEmpty()) {
        wipeMemory(m_password->data(), std::size_t(m_password->size()) * sizeof(QChar));
    }
    m_password.reset();
}

void NetKeyloft_Item::setCountUsedPlus1()
{
    // Wraps like the 32-bit counter it is, without signed overflow.
    m_countUsed = std::int32_t(std::uint32_t(m_countUsed) + 1U);
}

bool NetKeyloft_Item::hasDefaultUserName() const
{
    return m_userName == defaultUserName;
}

bool NetKeyloft_Item::hasDefaultPassword() const
{
    return m_password == defaultPassword;
}

bool NetKeyloft_Item::hasDefaultComments() const
{
    return m_comments == defaultComments;
}

bool NetKeyloft_Item::isEqualToLabel(const std::optional<QString>& label) const
{
    return label.has_value() && m_label == *label;
}

bool NetKeyloft_Item::isEqualToUuid(const QString& uuid) const
{
    return m_uuid == uuid;
}

bool NetKeyloft_Item::isEqual(const NetKeyloft_Item& other) const
{
    return isEqualToUuid(other.m_uuid);
}

QString NetKeyloft_Item::description() const
{
    return QStringLiteral("uuid:%1\nlabel:%2\nuserName:%3\npassword:%4\nindex:%5\ncountUsed:%6\n"
                          "date created:%7\ndate modified:%8\ncomments:%9\n----")
        .arg(m_uuid, m_label, m_userName, m_password.value_or(QStringLiteral("(null)")),
             QString::number(m_index), QString::number(m_countUsed),
             m_dateCreated.isNull() ? QStringLiteral("(null)")
                                    : m_dateCreated.toString(Qt::ISODate),
             m_dateModified.isNull() ? QStringLiteral("(null)")
                                     : m_dateModified.toString(Qt::ISODate),
             m_comments);
}

QString NetKeyloft_Item::encodedAttributes() const
{
    return m_uuid + attributeSeparator + QString::number(m_index) + attributeSeparator +
           QString::number(m_countUsed);
}

void NetKeyloft_Item::parseAttributes(const QString& attributes)
{
    // Split by hand into exactly three pieces (as QString::split would find them: left to
    // right, without overlaps), since loading parses one such string for every entry.
    const QStringView text(attributes);
    const QStringView separator(attributeSeparator);
    const auto find = [&](qsizetype from) -> qsizetype {
        for (qsizetype at = from; at + separator.size() <= text.size(); ++at) {
            if (text[at] == separator.front() && text.mid(at, separator.size()) == separator) {
                return at;
            }
        }
        return -1;
    };
    const qsizetype first = find(0);
    if (first < 0) {
        return;
    }
    const qsizetype secondStart = first + separator.size();
    const qsizetype second = find(secondStart);
    if (second < 0) {
        return;
    }
    const qsizetype thirdStart = second + separator.size();
    if (find(thirdStart) >= 0) {
        return;
    }
    m_index = leadingIntValue(text.mid(secondStart, second - secondStart));
    m_countUsed = leadingIntValue(text.mid(thirdStart));
}

QString NetKeyloft_Item::uuidFromAttributes(const QString& attributes)
{
    const QStringList pieces = attributes.split(attributeSeparator);
    return pieces.size() == 3 ? pieces.at(0) : QString(QLatin1String(""));
}

std::int32_t leadingIntValue(const QString& text)
{
    return leadingIntValue(QStringView(text));
}

std::int32_t leadingIntValue(QStringView text)
{
    qsizetype pos = 0;
    const qsizetype size = text.size();
    // The white space that C's isspace() knows in the "C" locale.
    while (pos < size && QStringView(u" \t\n\v\f\r").contains(text.at(pos))) {
        ++pos;
    }
    bool negative = false;
    if (pos < size && (text.at(pos) == QLatin1Char('-') || text.at(pos) == QLatin1Char('+'))) {
        negative = text.at(pos) == QLatin1Char('-');
        ++pos;
    }
    constexpr std::int64_t limit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t magnitude = 0;
    for (; pos < size && text.at(pos) >= QLatin1Char('0') && text.at(pos) <= QLatin1Char('9');
         ++pos) {
        magnitude = std::min(limit, magnitude * 10 + (text.at(pos).unicode() - u'0'));
    }
    if (negative) {
        return std::int32_t(-magnitude);
    }
    return std::int32_t(std::min(magnitude, limit - 1));
}
