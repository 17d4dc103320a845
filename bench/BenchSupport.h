#pragma once

#include "platform/Dialogs.h"
#include "platform/UserDefaults.h"
#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainServices.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Bench {

inline const QString password = QStringLiteral("bench password");

// Answers every password prompt at once; benchmarks show no windows.
class FixedPasswordDialogs final : public Dialogs {
public:
    int runAlert(const Alert&) override { return 0; }
    std::optional<QString> chooseKeychainFile() override { return std::nullopt; }
    std::optional<SecretBytes> askKeychainPassword(const QString&, int) override;
    std::optional<SecretBytes> askNewKeychainPassword(const QString&) override;
};

// Writes, in one go, a keychain file at path with the cheapest key derivation holding
// count entries laid out as the program stores them.
bool writeProgramKeychain(const QString& path, int count);
// The content of such a keychain, every call with new entries.
FileKeychainContent programKeychainContent(int count);

// Writes content as the keychain file at path (replacing one that is there), sealed
// with the benchmark password at the cheapest key derivation.
bool writeKeychainContent(const QString& path, const FileKeychainContent& content);

// A keychain file of count program entries in a temporary folder, the services and
// dialogs that open it, and a settings file that names it as the chosen keychain.
struct ProgramKeychainFile {
    explicit ProgramKeychainFile(int count);

    QTemporaryDir folder;
    QString path;
    bool written = false;
    FixedPasswordDialogs dialogs;
    FileKeychainServices services;
    UserDefaults defaults;
};

double millisecondsOf(const std::function<void()>& work);

// Runs benchmark for keychains of 1,000 and 10,000 entries in a Qt application, with
// the number of runs given as the program's first argument (7 by default).
int runBenchmarks(int argc, char** argv, void (*benchmark)(int count, int runs));

// Named series of timings; prints the median of each.
class Timings {
public:
    void add(const std::string& name, double milliseconds)
    {
        m_series[name].push_back(milliseconds);
    }
    void time(const std::string& name, const std::function<void()>& work);
    void print(const char* heading) const;

private:
    std::map<std::string, std::vector<double>> m_series;
};

} // namespace Bench
