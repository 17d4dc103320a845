#pragma once

#include <QLatin1String>
#include <QList>
#include <QObject>

#include <functional>

class QCheckBox;
class QSpinBox;
class UserDefaultsController;

// Ties controls of the preferences window to preference keys: each control shows its
// key's value, follows changes made elsewhere, and stores what the user sets in it.
class PreferenceBindings : public QObject {
    Q_OBJECT

public:
    explicit PreferenceBindings(UserDefaultsController& controller, QObject* parent = nullptr);
    ~PreferenceBindings() override;

    // allowOff, when given, is asked before the user's unchecking is stored; a box it
    // refuses is checked again.
    void bind(QCheckBox* box, QLatin1String key, std::function<bool()> allowOff = {});
    void bind(QSpinBox* box, QLatin1String key);

private:
    void observe(QLatin1String key, std::function<void()> show);

    UserDefaultsController& m_controller;
    QList<QLatin1String> m_keys;
};
