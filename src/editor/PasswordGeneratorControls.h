#pragma once

#include <QObject>

class QLabel;
class QLineEdit;
class QPushButton;
class UserDefaults;

// The edit pane's "Generate" button, which fills the password field with a new password
// made by the rules in the preferences, and the strength shown beside the field.
class PasswordGeneratorControls : public QObject {
    Q_OBJECT

public:
    PasswordGeneratorControls(QPushButton& button, QLineEdit& field, QLabel& strength,
                              const UserDefaults& defaults, QObject* parent = nullptr);

    // Puts a new password into the field, as the button does.
    void generate();

private:
    void showStrength(double bits);

    QLineEdit& m_field;
    QLabel& m_strength;
    const UserDefaults& m_defaults;
    // While the field takes a generated password, whose strength is known exactly.
    bool m_generating = false;
};
