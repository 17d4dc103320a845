#include "editor/PreferenceBindings.h"

#include "platform/UserDefaultsController.h"

#include <QCheckBox>
#include <QSpinBox>

PreferenceBindings::PreferenceBindings(UserDefaultsController& controller, QObject* parent)
    : QObject(parent), m_controller(controller)
{}

PreferenceBindings::~PreferenceBindings()
{
    for (const QLatin1String key : m_keys) {
        m_controller.removeObserver(this, UserDefaultsController::keyPathForKey(key));
    }
}

void PreferenceBindings::bind(QCheckBox* box, QLatin1String key, std::function<bool()> allowOff)
{
    const auto show = [this, box, key] { box->setChecked(m_controller.value(key).toBool()); };
    show();
    observe(key, show);
    // clicked is the user's own change; showing a value does not send it.
    connect(box, &QCheckBox::clicked, this, [this, box, key, allowOff](bool checked) {
        if (!checked && allowOff && !allowOff()) {
            box->setChecked(true);
            return;
        }
        m_controller.setValue(key, checked);
    });
}

void PreferenceBindings::bind(QSpinBox* box, QLatin1String key)
{
    const auto show = [this, box, key] {
        const QSignalBlocker quiet(box);
        box->setValue(m_controller.value(key).toInt());
    };
    show();
    observe(key, show);
    connect(box, &QSpinBox::valueChanged, this,
            [this, key](int value) { m_controller.setValue(key, value); });
}

void PreferenceBindings::observe(QLatin1String key, std::function<void()> show)
{
    m_keys << key;
    m_controller.addObserver(this, UserDefaultsController::keyPathForKey(key),
                             [show = std::move(show)](const QString&) { show(); });
}
