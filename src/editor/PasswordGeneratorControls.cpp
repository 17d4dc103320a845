#include "editor/PasswordGeneratorControls.h"

#include "store/PasswordGenerator.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

PasswordGeneratorControls::PasswordGeneratorControls(QPushButton& button, QLineEdit& field,
                                                     QLabel& strength, const UserDefaults& defaults,
                                                     QObject* parent)
    : QObject(parent), m_field(field), m_strength(strength), m_defaults(defaults)
{
    connect(&button, &QPushButton::clicked, this, &PasswordGeneratorControls::generate);
    // Typed or shown from an entry: the strength is estimated from what the field holds.
    connect(&field, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_generating) {
            showStrength(PasswordGenerator::estimatedBits(text));
        }
    });
}

void PasswordGeneratorControls::generate()
{
    const PasswordGenerator generator(PasswordRules::stored(m_defaults));
    m_generating = true;
    m_field.setText(generator.generate());
    m_generating = false;
    showStrength(generator.strengthBits());
    m_field.setFocus();
}

void PasswordGeneratorControls::showStrength(double bits)
{
    m_strength.setText(bits > 0 ? tr("Strength: %n bits", nullptr, int(std::floor(bits)))
                                : QString());
}
