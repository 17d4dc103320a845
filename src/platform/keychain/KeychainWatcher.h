#pragma once

#include <QObject>

// Tells that a keychain may have been changed by someone else: another process, or
// another keychain object over the same store. Changes made through the keychain object
// that made the watcher are not told where the provider lets them be told apart. It
// says nothing of what changed: whoever listens reads the keychain again.
class KeychainWatcher : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    void changed();
};
