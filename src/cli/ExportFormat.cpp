#include "cli/ExportFormat.h"

#include "cli/CliCommand.h"
#include "cli/CliFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const QString formatName = QStringLiteral("keyloft-entries");
constexpr int formatVersion = 1;

// Appends to a buffer for secrets, growing it by doubling; every buffer left behind
// is wiped by SecretBytes.
class SecretWriter {
public:
    void append(const char* bytes, std::size_t size)
    {
        if (m_used + size > m_buffer.size()) {
            m_buffer.resize(std::max(m_buffer.size() * 2, m_used + size + 4096));
        }
        std::memcpy(m_buffer.data() + m_used, bytes, size);
        m_used += size;
    }
    void append(const char* text) { append(text, std::strlen(text)); }
    void appendString(const QString& text);
    SecretBytes take()
    {
        m_buffer.resize(m_used);
        return std::move(m_buffer);
    }

private:
    SecretBytes m_buffer;
    std::size_t m_used = 0;
};

// A JSON string: quotes, backslashes and control characters escaped, the rest UTF-8.
void SecretWriter::appendString(const QString& text)
{
    const SecretBytes utf8 = SecretBytes::fromUtf8(text);
    append("\"");
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8.data()[i]);
        if (byte == '"' || byte == '\\') {
            const char escaped[2] = {'\\', char(byte)};
            append(escaped, 2);
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(byte));
            append(escaped, 6);
        } else {
            append(utf8.data() + i, 1);
        }
    }
    append("\"");
}

void appendField(SecretWriter& out, const char* name, const QString& value, bool last = false)
{
    out.append("      \"");
    out.append(name);
    out.append("\": ");
    out.appendString(value);
    out.append(last ? "\n" : ",\n");
}

void appendEntry(SecretWriter& out, const ExportFormat::ExportEntry& entry)
{
    const NetKeyloft_Item& item = *entry.item;
    out.append("    {\n");
    appendField(out, "label", item.label());
    appendField(out, "userName", item.userName());
    appendField(out, "notes", item.comments());
    if (entry.password) {
        appendField(out, "password", *entry.password);
    }
    const QByteArray numbers = QStringLiteral("      \"uses\": %1,\n      \"index\": %2,\n")
                                   .arg(item.countUsed())
                                   .arg(item.index())
                                   .toUtf8();
    out.append(numbers.constData(), std::size_t(numbers.size()));
    appendField(out, "created", CliFormat::date(item.dateCreated()));
    appendField(out, "modified", CliFormat::date(item.dateModified()));
    appendField(out, "uuid", item.uuid(), true);
    out.append("    }");
}

[[noreturn]] void failEntry(qsizetype position, const QString& problem)
{
    failOperation(QStringLiteral("entry %1 of the file: %2").arg(position + 1).arg(problem));
}

// A text field of an entry: required ones must be there, and any that is there must be text.
std::optional<QString> textField(const QJsonObject& entry, qsizetype position, const QString& name,
                                 bool required)
{
    const QJsonValue value = entry.value(name);
    if (value.isUndefined()) {
        if (required) {
            failEntry(position, QStringLiteral("the field \"%1\" is missing.").arg(name));
        }
        return std::nullopt;
    }
    if (!value.isString()) {
        failEntry(position, QStringLiteral("the field \"%1\" is not text.").arg(name));
    }
    return value.toString();
}

NewEntry parseEntry(const QJsonValue& value, qsizetype position)
{
    if (!value.isObject()) {
        failEntry(position, QStringLiteral("it is not an object."));
    }
    const QJsonObject object = value.toObject();
    NewEntry entry;
    entry.label = *textField(object, position, QStringLiteral("label"), true);
    if (entry.label.isEmpty()) {
        failEntry(position, QStringLiteral("its label is empty."));
    }
    entry.userName = textField(object, position, QStringLiteral("userName"), true);
    entry.notes = textField(object, position, QStringLiteral("notes"), true);
    entry.password = textField(object, position, QStringLiteral("password"), false);
    if (const QString problem = entryProblem(entry); !problem.isNull()) {
        failEntry(position, problem);
    }
    return entry;
}

void checkHeader(const QJsonObject& document)
{
    const QJsonValue format = document.value(QStringLiteral("format"));
    if (!format.isUndefined() && format.toString() != formatName) {
        failOperation(QStringLiteral("the file is not a keyloft-cli export (\"format\" is not "
                                     "\"%1\").")
                          .arg(formatName));
    }
    const QJsonValue version = document.value(QStringLiteral("version"));
    if (!version.isUndefined() && version.toInt(-1) != formatVersion) {
        failOperation(QStringLiteral("the file's version is not %1.").arg(formatVersion));
    }
}

} // namespace

namespace ExportFormat {

SecretBytes serialize(const std::vector<ExportEntry>& entries)
{
    SecretWriter out;
    const QByteArray head = QStringLiteral("{\n  \"format\": \"%1\",\n  \"version\": %2,\n"
                                           "  \"entries\": [")
                                .arg(formatName)
                                .arg(formatVersion)
                                .toUtf8();
    out.append(head.constData(), std::size_t(head.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        out.append(i == 0 ? "\n" : ",\n");
        appendEntry(out, entries[i]);
    }
    out.append(entries.empty() ? "]\n}\n" : "\n  ]\n}\n");
    return out.take();
}

std::vector<NewEntry> parse(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        failOperation(QStringLiteral("the file is not valid JSON: %1 (at byte %2).")
                          .arg(error.errorString())
                          .arg(error.offset));
    }
    if (!document.isObject()) {
        failOperation(QStringLiteral("the file does not hold a JSON object."));
    }
    const QJsonObject object = document.object();
    checkHeader(object);
    const QJsonValue entries = object.value(QStringLiteral("entries"));
    if (!entries.isArray()) {
        failOperation(QStringLiteral("the file has no \"entries\" list."));
    }
    const QJsonArray array = entries.toArray();
    std::vector<NewEntry> parsed;
    parsed.reserve(std::size_t(array.size()));
    for (qsizetype i = 0; i < array.size(); ++i) {
        parsed.push_back(parseEntry(array.at(i), i));
    }
    return parsed;
}

} // namespace ExportFormat
