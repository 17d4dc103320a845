#include "platform/HunspellSpellChecker.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <hunspell.hxx>

#include <iconv.h>

#include <optional>
#include <string>

// Turns words into the bytes of the dictionary's character encoding (its SET line).
class HunspellSpellChecker::Encoder {
public:
    explicit Encoder(const std::string& encoding)
    {
        const QByteArray name = QByteArray::fromStdString(encoding).trimmed().toUpper();
        m_utf8 = name.isEmpty() || name == "UTF-8" || name == "UTF8";
        if (!m_utf8) {
            // Dictionaries name Windows code pages as "microsoft-cp1251"; iconv as "CP1251".
            const QByteArray iconvName =
                name.startsWith("MICROSOFT-") ? name.mid(int(qstrlen("MICROSOFT-"))) : name;
            m_converter = iconv_open(iconvName.constData(), "UTF-8");
        }
    }
    ~Encoder()
    {
        if (m_converter != invalid()) {
            iconv_close(m_converter);
        }
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    bool isValid() const { return m_utf8 || m_converter != invalid(); }

    // Nothing when the encoding cannot represent the word.
    std::optional<std::string> encode(const QString& word) const
    {
        QByteArray in = word.toUtf8();
        if (m_utf8) {
            return in.toStdString();
        }
        std::string out(std::size_t(in.size()) * 4 + 16, '\0');
        char* inBytes = in.data();
        std::size_t inLeft = std::size_t(in.size());
        char* outBytes = out.data();
        std::size_t outLeft = out.size();
        iconv(m_converter, nullptr, nullptr, nullptr, nullptr);
        if (iconv(m_converter, &inBytes, &inLeft, &outBytes, &outLeft) == std::size_t(-1) ||
            iconv(m_converter, nullptr, nullptr, &outBytes, &outLeft) == std::size_t(-1)) {
            return std::nullopt;
        }
        out.resize(out.size() - outLeft);
        return out;
    }

private:
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }

    bool m_utf8 = true;
    iconv_t m_converter = invalid();
};

QStringList HunspellSpellChecker::defaultDictionaryFolders()
{
    QStringList folders =
        QString::fromLocal8Bit(qgetenv("DICPATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    folders << QStringLiteral("/usr/share/hunspell") << QStringLiteral("/usr/share/myspell")
            << QStringLiteral("/usr/share/myspell/dicts");
    return folders;
}

namespace {

// "de_AT.UTF-8@euro" gives "de_AT"; the C and POSIX locales give nothing.
QString localeLanguage(const QString& locale)
{
    QString language = locale.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    language.replace(QLatin1Char('-'), QLatin1Char('_'));
    if (language == QLatin1String("C") || language == QLatin1String("POSIX")) {
        return {};
    }
    return language;
}

bool isDictionary(const QString& basePath)
{
    return QFileInfo(basePath + QStringLiteral(".aff")).isReadable() &&
           QFileInfo(basePath + QStringLiteral(".dic")).isReadable();
}

// The first dictionary of a region of language ("de" finds de_AT, de_CH, de_DE ...).
QString anyRegionOf(const QString& folder, const QString& language)
{
    const QStringList affixFiles =
        QDir(folder).entryList({language + QStringLiteral("_*.aff")}, QDir::Files, QDir::Name);
    for (const QString& affixFile : affixFiles) {
        const QString basePath = QDir(folder).filePath(affixFile.chopped(4));
        if (isDictionary(basePath)) {
            return basePath;
        }
    }
    return {};
}

} // namespace

QString HunspellSpellChecker::languageFromEnvironment()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = QString::fromLocal8Bit(qgetenv(variable));
        if (!value.isEmpty()) {
            return localeLanguage(value);
        }
    }
    return {};
}

QStringList HunspellSpellChecker::dictionaryNames(const QString& language)
{
    const QString full = localeLanguage(language);
    QStringList names;
    if (!full.isEmpty()) {
        names << full;
        if (full.contains(QLatin1Char('_'))) {
            names << full.section(QLatin1Char('_'), 0, 0);
        }
    }
    names << QStringLiteral("en_US");
    names.removeDuplicates();
    return names;
}

QString HunspellSpellChecker::findDictionary(const QStringList& folders, const QString& language)
{
    for (const QString& name : dictionaryNames(language)) {
        for (const QString& folder : folders) {
            const QString basePath = QDir(folder).filePath(name);
            if (isDictionary(basePath)) {
                return basePath;
            }
        }
        if (name.contains(QLatin1Char('_'))) {
            continue;
        }
        for (const QString& folder : folders) {
            const QString basePath = anyRegionOf(folder, name);
            if (!basePath.isEmpty()) {
                return basePath;
            }
        }
    }
    return {};
}

HunspellSpellChecker::HunspellSpellChecker(const QString& basePath)
{
    if (basePath.isEmpty() || !isDictionary(basePath)) {
        return;
    }
    auto hunspell = std::make_unique<Hunspell>(
        QFile::encodeName(basePath + QStringLiteral(".aff")).constData(),
        QFile::encodeName(basePath + QStringLiteral(".dic")).constData());
    auto encoder = std::make_unique<Encoder>(hunspell->get_dict_encoding());
    if (!encoder->isValid()) {
        logLine(QStringLiteral("The spelling dictionary %1 uses the encoding %2, which this "
                               "system cannot convert to; the notes are not spell-checked.")
                    .arg(basePath, QString::fromStdString(hunspell->get_dict_encoding())));
        return;
    }
    m_basePath = basePath;
    m_hunspell = std::move(hunspell);
    m_encoder = std::move(encoder);
}

HunspellSpellChecker::~HunspellSpellChecker() = default;

std::unique_ptr<HunspellSpellChecker> HunspellSpellChecker::forLanguage(const QStringList& folders,
                                                                        const QString& language)
{
    const QString basePath = findDictionary(folders, language);
    if (basePath.isEmpty()) {
        logLine(QStringLiteral("No spelling dictionary for %1 or en_US in %2; the notes are not "
                               "spell-checked.")
                    .arg(language.isEmpty() ? QStringLiteral("the C locale") : language,
                         folders.join(QStringLiteral(", "))));
    }
    return std::make_unique<HunspellSpellChecker>(basePath);
}

bool HunspellSpellChecker::hasDictionary() const
{
    return m_hunspell != nullptr;
}

bool HunspellSpellChecker::isCorrect(const QString& word) const
{
    if (!m_hunspell || word.isEmpty()) {
        return true;
    }
    // Dictionaries spell contractions with the ASCII apostrophe; typed text often
    // has the typographic one.
    QString plain = word;
    plain.replace(QChar(0x2019), QLatin1Char('\''));
    const std::optional<std::string> bytes = m_encoder->encode(plain);
    return bytes && m_hunspell->spell(*bytes);
}

std::unique_ptr<SpellChecker> createUserSpellChecker()
{
    return HunspellSpellChecker::forLanguage(HunspellSpellChecker::defaultDictionaryFolders(),
                                             HunspellSpellChecker::languageFromEnvironment());
}

SpellCheckerSource userSpellCheckerOnFirstUse()
{
    auto loaded = std::make_shared<std::shared_ptr<const SpellChecker>>();
    return [loaded] {
        if (!*loaded) {
            *loaded = createUserSpellChecker();
        }
        return *loaded;
    };
}
