#include "ScriptedDialogs.h"

ScriptedDialogs::Answer ScriptedDialogs::answer(const std::optional<QString>& text)
{
    return text ? Answer{true, *text} : Answer{};
}

ScriptedDialogs::Answer ScriptedDialogs::takeFront(std::deque<Answer>& queue)
{
    if (queue.empty()) {
        return Answer{};
    }
    Answer front = queue.front();
    queue.pop_front();
    return front;
}

int ScriptedDialogs::runAlert(const Alert& alert)
{
    m_alerts.push_back(alert);
    if (m_alertAnswers.empty()) {
        return 0;
    }
    const int answer = m_alertAnswers.front();
    m_alertAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedDialogs::chooseKeychainFile()
{
    ++m_filePrompts;
    const Answer file = takeFront(m_files);
    return file.given ? std::optional<QString>(file.text) : std::nullopt;
}

std::optional<SecretBytes> ScriptedDialogs::askKeychainPassword(const QString&, int)
{
    ++m_passwordPrompts;
    const Answer password = takeFront(m_passwords);
    return password.given ? std::optional<SecretBytes>(SecretBytes::fromUtf8(password.text))
                          : std::nullopt;
}

std::optional<SecretBytes> ScriptedDialogs::askNewKeychainPassword(const QString&)
{
    ++m_newPasswordPrompts;
    const Answer password = takeFront(m_newPasswords);
    return password.given ? std::optional<SecretBytes>(SecretBytes::fromUtf8(password.text))
                          : std::nullopt;
}

void ScriptedDialogs::queuePassword(const std::optional<QString>& password)
{
    m_passwords.push_back(answer(password));
}

void ScriptedDialogs::queueNewPassword(const std::optional<QString>& password)
{
    m_newPasswords.push_back(answer(password));
}

QStringList ScriptedDialogs::alertMessages() const
{
    QStringList messages;
    for (const Alert& alert : m_alerts) {
        messages << alert.message;
    }
    return messages;
}

void ScriptedDialogs::clearRecord()
{
    m_alerts.clear();
    m_passwordPrompts = 0;
    m_newPasswordPrompts = 0;
    m_filePrompts = 0;
}
