// Times the password generator: one password at the default rules, the shortest length
// with every class (where most draws are rejected for a missing class), and the longest.
// Prints the median of several runs, each the mean over many passwords, in milliseconds.

#include "BenchSupport.h"

#include "store/PasswordGenerator.h"

#include <QElapsedTimer>

namespace {

double millisecondsPerPassword(const PasswordGenerator& generator, int count)
{
    QElapsedTimer timer;
    timer.start();
    qsizetype characters = 0;
    for (int i = 0; i < count; ++i) {
        characters += generator.generate().size();
    }
    // The sum keeps the work from being optimised away.
    return characters > 0 ? double(timer.nsecsElapsed()) / 1e6 / count : 0.0;
}

} // namespace

int main()
{
    PasswordRules shortest;
    shortest.length = PasswordRules::minimumLength;
    shortest.avoidLookAlikes = false;
    PasswordRules longest;
    longest.length = PasswordRules::maximumLength;
    const std::pair<const char*, PasswordRules> cases[] = {
        {"default rules (20 characters)", PasswordRules()},
        {"8 characters, every class", shortest},
        {"128 characters", longest},
    };
    Bench::Timings times;
    for (int run = 0; run < 9; ++run) {
        for (const auto& [name, rules] : cases) {
            times.add(name, millisecondsPerPassword(PasswordGenerator(rules), 10000));
        }
    }
    times.print("Generating one password");
    return 0;
}
