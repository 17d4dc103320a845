// Writes a keychain file for bench/bench_cli.sh: COUNT entries "Entry 0" ... (user names,
// notes and passwords "pw-N"), laid out as the program stores them, in one write, with
// the cheapest key derivation and the password "bench password". Adding that many
// entries one keyloft-cli command at a time would rewrite the file once per entry.
#include "BenchSupport.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: bench_cli_keychain PATH COUNT\n");
        return 2;
    }
    return Bench::writeProgramKeychain(QString::fromLocal8Bit(argv[1]), std::atoi(argv[2])) ? 0 : 1;
}
