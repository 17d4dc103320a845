// Measures how changes made elsewhere reach a running item list: from the moment
// another keychain object has written a change until the list tells of it, the
// processor time of one reading and merging of the whole keychain, and the processor
// time of a watched keychain while nothing happens.
//
//     bench_live [runs, default 7]                  a keychain file of 10,000 entries
//     bench_live --secret-service [runs]            1,000 entries on the Secret Service
//
// The second form writes program entries into the session's default keychain: run it
// only through bench/compare_backends.sh, which starts a private session with its own
// gnome-keyring.
#include "BenchSupport.h"

#include "platform/secretservice/SecretServiceKeychainServices.h"
#include "store/NetKeyloft_KeychainController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Milliseconds from a change written by other until watching tells of it; -1 when it
// does not within ten seconds.
double latencyOfOneChange(NetKeyloft_KeychainController& watching,
                          NetKeyloft_KeychainController& other, int run)
{
    QEventLoop loop;
    QObject::connect(&watching.notifier(), &ItemListNotifier::rowChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, [&loop] { loop.exit(1); });
    const unsigned row = unsigned(run) % other.countOfKeychainItems();
    other.setUserNameForKeychainItemAtIndex(QStringLiteral("changed %1").arg(run), row);
    QElapsedTimer clock;
    clock.start();
    const int result = loop.exec();
    return result == 0 ? double(clock.nsecsElapsed()) / 1e6 : -1;
}

void measure(NetKeyloft_Keychain::Environment environment, int runs, const char* heading)
{
    auto watching = NetKeyloft_KeychainController::create(environment);
    auto other = NetKeyloft_KeychainController::create(environment);
    if (!watching || !other || other->countOfKeychainItems() == 0) {
        std::fprintf(stderr, "could not open the keychain\n");
        return;
    }
    watching->followChangesMadeElsewhere();
    Bench::Timings times;
    for (int run = 0; run < runs; ++run) {
        times.add("change written elsewhere until the list tells (wall)",
                  latencyOfOneChange(*watching, *other, run));
    }
    for (int run = 0; run < runs; ++run) {
        other->setUserNameForKeychainItemAtIndex(QStringLiteral("again %1").arg(run), 0);
        const double cpu = processCpuMs();
        watching->mergeChangesMadeElsewhere();
        times.add("reading and merging the keychain (process CPU)", processCpuMs() - cpu);
        QCoreApplication::processEvents();
    }
    // The signals of the writes above may still be on their way: they are let in first.
    QEventLoop settle;
    QTimer::singleShot(2000, &settle, &QEventLoop::quit);
    settle.exec();
    QEventLoop idle;
    const double cpu = processCpuMs();
    QTimer::singleShot(3000, &idle, &QEventLoop::quit);
    idle.exec();
    times.add("3 s idle with the keychain watched (process CPU)", processCpuMs() - cpu);
    times.print(heading);
}

// Fills the session's default keychain with count program entries.
bool fillDefaultKeychain(NetKeyloft_Keychain::Environment environment, int count)
{
    auto list = NetKeyloft_KeychainController::create(environment);
    if (!list) {
        return false;
    }
    // Followed, the keychain answers each new label's check from what it has read.
    list->followChangesMadeElsewhere();
    for (int i = int(list->countOfKeychainItems()); i < count; ++i) {
        if (!list->newKeyChainItemWithLabel(QStringLiteral("Entry %1").arg(i))) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool secretService = argc > 1 && std::strcmp(argv[1], "--secret-service") == 0;
    const int runs = argc > (secretService ? 2 : 1) ? std::atoi(argv[secretService ? 2 : 1]) : 7;
    if (!secretService) {
        Bench::ProgramKeychainFile file(10000);
        measure({file.services, file.defaults, file.dialogs}, runs,
                "keychain file, 10,000 entries");
        return 0;
    }
    if (qgetenv("KEYLOFT_BENCH_SESSION") != "1") {
        std::fprintf(stderr, "run through bench/compare_backends.sh (a private session)\n");
        return 2;
    }
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("bench.conf")));
    Bench::FixedPasswordDialogs dialogs;
    SecretServiceKeychainServices services;
    const NetKeyloft_Keychain::Environment environment{services, defaults, dialogs};
    if (!fillDefaultKeychain(environment, 1000)) {
        std::fprintf(stderr, "could not fill the default keychain\n");
        return 1;
    }
    measure(environment, runs, "Secret Service, 1,000 entries");
    return 0;
}
