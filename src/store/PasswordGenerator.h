#pragma once

#include <QString>

class UserDefaults;

// What a generated password is made of.
struct PasswordRules {
    static constexpr int minimumLength = 8;
    static constexpr int maximumLength = 128;

    int length = 20;
    bool lowercase = true;
    bool uppercase = true;
    bool digits = true;
    bool symbols = true;
    // Leaves out characters easily read as one another (Il1|, O0o).
    bool avoidLookAlikes = true;

    // The rules the user set in the preferences.
    static PasswordRules stored(const UserDefaults& defaults);
};

// Makes passwords by the rules: every character drawn, equally likely, from the
// characters of the chosen classes, and every chosen class present at least once.
class PasswordGenerator {
public:
    // Rules out of range are brought in: the length into minimumLength..maximumLength,
    // and no class at all counts as every class.
    explicit PasswordGenerator(const PasswordRules& rules);

    // Every character a password may hold, each once.
    const QString& alphabet() const { return m_alphabet; }
    QString generate() const;
    // The strength of the passwords it makes: log2(alphabet size ^ length).
    double strengthBits() const;
    // The same measure for a password made elsewhere, over the alphabet it appears to be
    // drawn from: every class it has a character of, and each other character it holds.
    static double estimatedBits(const QString& password);

private:
    bool holdsEveryClass(const QString& password) const;

    PasswordRules m_rules;
    QString m_alphabet;
};
