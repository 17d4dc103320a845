#pragma once

#include "platform/Dialogs.h"

#include <deque>
#include <vector>

// Dialogs that answer from queues the test fills, and remember what was asked.
// An unqueued alert is answered with its first button; an unqueued prompt is refused.
class ScriptedDialogs final : public Dialogs {
public:
    int runAlert(const Alert& alert) override;
    std::optional<QString> chooseKeychainFile() override;
    std::optional<SecretBytes> askKeychainPassword(const QString& path, int attempt) override;
    std::optional<SecretBytes> askNewKeychainPassword(const QString& path) override;

    void queueAlertAnswer(int button) { m_alertAnswers.push_back(button); }
    void queueFile(const std::optional<QString>& path) { m_files.push_back(answer(path)); }
    void queuePassword(const std::optional<QString>& password);
    void queueNewPassword(const std::optional<QString>& password);

    // The messages of every alert shown so far, oldest first.
    QStringList alertMessages() const;
    const std::vector<Alert>& alerts() const { return m_alerts; }
    int passwordPrompts() const { return m_passwordPrompts; }
    int newPasswordPrompts() const { return m_newPasswordPrompts; }
    int filePrompts() const { return m_filePrompts; }
    void clearRecord();

private:
    std::deque<int> m_alertAnswers;
    // A queued answer; given is false for a cancelled prompt.
    struct Answer {
        bool given = false;
        QString text;
    };
    static Answer answer(const std::optional<QString>& text);
    static Answer takeFront(std::deque<Answer>& queue);

    std::deque<Answer> m_files;
    std::deque<Answer> m_passwords;
    std::deque<Answer> m_newPasswords;
    std::vector<Alert> m_alerts;
    int m_passwordPrompts = 0;
    int m_newPasswordPrompts = 0;
    int m_filePrompts = 0;
};
