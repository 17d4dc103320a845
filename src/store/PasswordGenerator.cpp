#include "store/PasswordGenerator.h"

#include "platform/SecureRandom.h"
#include "platform/UserDefaults.h"
#include "settings/PreferenceKeys.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

const QString lookAlikes = QStringLiteral("Il1|O0o");

struct CharacterClass {
    bool PasswordRules::*chosen;
    QString characters;

    bool occursIn(const QString& text) const
    {
        return std::any_of(text.begin(), text.end(),
                           [this](QChar c) { return characters.contains(c); });
    }
};

const std::array<CharacterClass, 4>& characterClasses()
{
    static const std::array<CharacterClass, 4> classes{{
        {&PasswordRules::lowercase, QStringLiteral("abcdefghijklmnopqrstuvwxyz")},
        {&PasswordRules::uppercase, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ")},
        {&PasswordRules::digits, QStringLiteral("0123456789")},
        {&PasswordRules::symbols, QStringLiteral("!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~")},
    }};
    return classes;
}

QString withoutLookAlikes(QString characters)
{
    characters.removeIf([](QChar c) { return lookAlikes.contains(c); });
    return characters;
}

PasswordRules normalised(PasswordRules rules)
{
    rules.length =
        std::clamp(rules.length, PasswordRules::minimumLength, PasswordRules::maximumLength);
    if (!rules.lowercase && !rules.uppercase && !rules.digits && !rules.symbols) {
        rules.lowercase = rules.uppercase = rules.digits = rules.symbols = true;
    }
    return rules;
}

} // namespace

PasswordRules PasswordRules::stored(const UserDefaults& defaults)
{
    PasswordRules rules;
    rules.length = defaults.value(NKLPREFS_GeneratorLength_Key).toInt();
    rules.lowercase = defaults.boolForKey(NKLPREFS_GeneratorLowercase_Key);
    rules.uppercase = defaults.boolForKey(NKLPREFS_GeneratorUppercase_Key);
    rules.digits = defaults.boolForKey(NKLPREFS_GeneratorDigits_Key);
    rules.symbols = defaults.boolForKey(NKLPREFS_GeneratorSymbols_Key);
    rules.avoidLookAlikes = defaults.boolForKey(NKLPREFS_GeneratorAvoidLookAlikes_Key);
    return rules;
}

PasswordGenerator::PasswordGenerator(const PasswordRules& rules) : m_rules(normalised(rules))
{
    for (const CharacterClass& characterClass : characterClasses()) {
        if (m_rules.*characterClass.chosen) {
            m_alphabet += m_rules.avoidLookAlikes ? withoutLookAlikes(characterClass.characters)
                                                  : characterClass.characters;
        }
    }
}

QString PasswordGenerator::generate() const
{
    // Draws whole passwords until one holds every chosen class. Rejecting a draw, rather
    // than planting a character of each class, keeps every acceptable password equally
    // likely; even at the shortest length about half the draws are accepted.
    const auto size = std::uint32_t(m_alphabet.size());
    QString password(m_rules.length, Qt::Uninitialized);
    do {
        for (QChar& c : password) {
            c = m_alphabet.at(qsizetype(SecureRandom::uniform(size)));
        }
    } while (!holdsEveryClass(password));
    return password;
}

bool PasswordGenerator::holdsEveryClass(const QString& password) const
{
    return std::all_of(characterClasses().begin(), characterClasses().end(),
                       [&](const CharacterClass& characterClass) {
                           return !(m_rules.*characterClass.chosen) ||
                                  characterClass.occursIn(password);
                       });
}

double PasswordGenerator::strengthBits() const
{
    return m_rules.length * std::log2(double(m_alphabet.size()));
}

double PasswordGenerator::estimatedBits(const QString& password)
{
    qsizetype alphabet = 0;
    QString others;
    for (const CharacterClass& characterClass : characterClasses()) {
        if (characterClass.occursIn(password)) {
            alphabet += characterClass.characters.size();
        }
    }
    for (QChar c : password) {
        const bool inClass = std::any_of(characterClasses().begin(), characterClasses().end(),
                                         [c](const CharacterClass& characterClass) {
                                             return characterClass.characters.contains(c);
                                         });
        if (!inClass && !others.contains(c)) {
            others += c;
        }
    }
    alphabet += others.size();
    return alphabet < 2 ? 0.0 : double(password.size()) * std::log2(double(alphabet));
}
