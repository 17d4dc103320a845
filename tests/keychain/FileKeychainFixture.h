#pragma once

#include "KeychainQueries.h"
#include "ManualClock.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "platform/keychain/FileKeychainServices.h"

#include <QByteArrayList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <sys/types.h>

// A temporary folder, scripted dialogs, a clock set by hand and file keychain services
// with the cheapest key derivation, shared by the keychain file tests.
class FileKeychainFixture {
public:
    FileKeychainFixture();

    QString path(const QString& name = QStringLiteral("test.keychain")) const;

    // Creates a keychain at path with password; fails the test on any error.
    std::unique_ptr<Keychain> create(const QString& password = QStringLiteral("secret"),
                                     const QString& name = QStringLiteral("test.keychain"));
    std::unique_ptr<Keychain> open(const QString& name = QStringLiteral("test.keychain"));

    QByteArray fileBytes(const QString& name = QStringLiteral("test.keychain")) const;
    void writeFileBytes(const QByteArray& bytes,
                        const QString& name = QStringLiteral("test.keychain")) const;

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    // Stamps the items' creation and changes.
    ManualClock clock;
    FileKeychainServices services;
};

// A generic-password item of the program with the given label, account and service.
KeychainAttributeList itemAttributes(const QByteArray& label, const QByteArray& account,
                                     const QByteArray& service);
// Adds such an item, with the service given, to keychain.
OSStatus createItem(Keychain& keychain, const QByteArray& service);
// The services of the keychain's generic-password items, in their order.
QByteArrayList servicesIn(Keychain& keychain);

// Runs inChild in a child process that then waits to be killed; returns the child's id
// once inChild ran, or -1.
pid_t forkAndPause(const std::function<void()>& inChild);
// Kills a child process without warning and waits for its end.
bool killChild(pid_t child);
