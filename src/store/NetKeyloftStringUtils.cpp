#include "store/NetKeyloftStringUtils.h"

#include "platform/Clipboard.h"
#include "platform/ClipboardClearer.h"
#include "platform/Dialogs.h"

#include <QStringDecoder>
#include <QUuid>

namespace NetKeyloftStringUtils {

bool toPasteboard(const QString& text, Clipboard& clipboard, Dialogs& dialogs)
{
    if (clipboard.setSecretText(text)) {
        return true;
    }
    Alert alert;
    alert.message = QStringLiteral("Nothing was copied.");
    alert.informativeText = QStringLiteral("The clipboard could not be reached. Try again in a "
                                           "moment.");
    alert.style = Alert::Style::Warning;
    dialogs.runAlert(alert);
    return false;
}

bool toPasteboard(const QString& text, Clipboard& clipboard, Dialogs& dialogs,
                  ClipboardClearer* clearer, std::optional<std::chrono::milliseconds> clearAfter)
{
    if (!toPasteboard(text, clipboard, dialogs)) {
        return false;
    }
    if (clearer) {
        clearer->copied(text, clearAfter);
    }
    return true;
}

QString localizedString(const QString& key)
{
    const QByteArray id = key.toUtf8();
    return qtTrId(id.constData());
}

void toErrorMessageLocalized(const QString& key, Dialogs& dialogs)
{
    Alert alert;
    alert.message = localizedString(key);
    alert.style = Alert::Style::Warning;
    dialogs.runAlert(alert);
}

QString uuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString stringWithData(const char* bytes, std::size_t length)
{
    if (length == 0) {
        return QString(QLatin1String(""));
    }
    // ASCII text, by far the most common, reads the same as UTF-8 and as Latin-1, and
    // Latin-1 needs no decoder: loading decodes several texts for every entry.
    unsigned char high = 0;
    for (std::size_t i = 0; i < length; ++i) {
        high |= static_cast<unsigned char>(bytes[i]);
    }
    if (high < 0x80) {
        return QString::fromLatin1(bytes, qsizetype(length));
    }
    // Strict decoding: a leading byte order mark is kept as a character, and any invalid sequence
    // fails the whole text instead of becoming a replacement character.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(QByteArrayView(bytes, qsizetype(length)));
    if (decoder.hasError()) {
        return QString();
    }
    return text;
}

} // namespace NetKeyloftStringUtils
