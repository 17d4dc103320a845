#include "cli/CliCommand.h"
#include "cli/CliCommands.h"

#include <algorithm>

void failUsage(const QString& message)
{
    throw CliFailure{ExitUsage, message};
}

void failOperation(const QString& message)
{
    throw CliFailure{ExitFailure, message};
}

std::optional<QString> CliInvocation::value(const QString& option) const
{
    const QStringList values = m_parser.values(option);
    if (values.isEmpty()) {
        return std::nullopt;
    }
    return values.last();
}

const std::vector<CliOptionSpec>& cliGlobalOptions()
{
    static const std::vector<CliOptionSpec> options{
        {{QStringLiteral("keychain")},
         QStringLiteral("Use the keychain file at PATH."),
         QStringLiteral("PATH")},
        {{QStringLiteral("password-fd")},
         QStringLiteral("Read the keychain's password from descriptor N."),
         QStringLiteral("N")},
        {{QStringLiteral("verbose")}, QStringLiteral("Also print the keychain's log lines.")},
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")},
    };
    return options;
}

namespace {

std::vector<CliCommandSpec> makeCommands()
{
    const QString l = QStringLiteral("LABEL");
    return {
        {QStringLiteral("list"),
         QString(),
         0,
         0,
         QStringLiteral("List the entries: label, user name, use count, date created."),
         QStringLiteral("One entry a line, the four fields separated by tabs; a backslash, tab or "
                        "line end inside a field is written as \\\\, \\t, \\n or \\r. Dates are "
                        "UTC (ISO 8601). Without --sort the entries come in the order the "
                        "application's menu shows them."),
         {{{QStringLiteral("sort")},
           QStringLiteral("Sort by name, created, used or index."),
           QStringLiteral("KEY")},
          {{QStringLiteral("descending")}, QStringLiteral("Sort in descending order.")}},
         &runList},
        {QStringLiteral("show"),
         l,
         1,
         1,
         QStringLiteral("Show an entry's fields, all but the password."),
         QStringLiteral("With --password, print the password alone instead, and count one use of "
                        "the entry, as copying it in the application does. The password is "
                        "followed by a line end only when the output is a terminal."),
         {{{QStringLiteral("password")}, QStringLiteral("Print the password alone.")}},
         &runShow},
        {QStringLiteral("add"),
         l,
         1,
         1,
         QStringLiteral("Add an entry; print the label it got."),
         QStringLiteral("The password is read from standard input (all of it, less one final line "
                        "end), or asked twice without echo when standard input is a terminal. A "
                        "label that is taken is made unique as the application makes it (Mail "
                        "becomes Mail1); the label the entry really got is printed."),
         {{{QStringLiteral("user")}, QStringLiteral("The user name."), QStringLiteral("NAME")},
          {{QStringLiteral("notes")}, QStringLiteral("The notes."), QStringLiteral("TEXT")}},
         &runAdd},
        {QStringLiteral("rename"),
         QStringLiteral("LABEL NEW"),
         2,
         2,
         QStringLiteral("Give an entry a new label."),
         QStringLiteral("Refused when another entry is labelled NEW already."),
         {},
         &runRename},
        {QStringLiteral("edit"),
         l,
         1,
         1,
         QStringLiteral("Change an entry's fields."),
         QStringLiteral("Give at least one option. --password-stdin reads the new password as "
                        "add does."),
         {{{QStringLiteral("user")}, QStringLiteral("The new user name."), QStringLiteral("NAME")},
          {{QStringLiteral("notes")}, QStringLiteral("The new notes."), QStringLiteral("TEXT")},
          {{QStringLiteral("password-stdin")},
           QStringLiteral("Read the new password from standard input.")}},
         &runEdit},
        {QStringLiteral("rm"),
         l,
         1,
         1,
         QStringLiteral("Remove an entry."),
         QStringLiteral("Asks on the terminal first, unless --yes is given."),
         {{{QStringLiteral("y"), QStringLiteral("yes")}, QStringLiteral("Remove without asking.")}},
         &runRemove},
        {QStringLiteral("export"),
         QString(),
         0,
         0,
         QStringLiteral("Write all entries as JSON."),
         QStringLiteral("Writes {\"format\": \"keyloft-entries\", \"version\": 1, \"entries\": "
                        "[...]}, each entry with label, userName, notes, uses, index, created, "
                        "modified and uuid, and password with --with-passwords. A file given "
                        "with --output is readable by its owner only."),
         {{{QStringLiteral("with-passwords")}, QStringLiteral("Include the passwords.")},
          {{QStringLiteral("o"), QStringLiteral("output")},
           QStringLiteral("Write to FILE instead of standard output."),
           QStringLiteral("FILE")}},
         &runExport},
        {QStringLiteral("import"),
         QStringLiteral("FILE"),
         1,
         1,
         QStringLiteral("Add the entries of an export file (- for standard input)."),
         QStringLiteral("Every entry needs label, userName and notes (texts); password is "
                        "optional; other fields are ignored. Entries are always added, never "
                        "overwritten: taken labels are made unique as add does, and the labels "
                        "the entries got are printed. A file with an error changes nothing."),
         {},
         &runImport},
        {QStringLiteral("merge"),
         QStringLiteral("OTHER"),
         1,
         1,
         QStringLiteral("Merge another keychain file into the keychain, entry by entry."),
         QStringLiteral("Entries only OTHER holds are added, unless the keychain deleted them "
                        "later; entries it deleted are deleted; of an entry changed in both, the "
                        "one changed last is kept, with the other's password and notes added to "
                        "its notes. OTHER's password is asked when it is not the keychain's. "
                        "OTHER is not changed. Prints what was added, changed and deleted."),
         {},
         &runMerge},
        {QStringLiteral("create-keychain"),
         QStringLiteral("PATH"),
         1,
         1,
         QStringLiteral("Create a new, empty keychain file."),
         QStringLiteral("Its password is asked twice on the terminal, or read from --password-fd. "
                        "With --set-default the application and keyloft-cli use it from now on."),
         {{{QStringLiteral("set-default")}, QStringLiteral("Remember it as the keychain to use.")}},
         &runCreateKeychain},
    };
}

} // namespace

const std::vector<CliCommandSpec>& cliCommands()
{
    static const std::vector<CliCommandSpec> commands = makeCommands();
    return commands;
}

const CliCommandSpec* findCliCommand(const QString& name)
{
    const std::vector<CliCommandSpec>& commands = cliCommands();
    const auto found =
        std::find_if(commands.begin(), commands.end(),
                     [&name](const CliCommandSpec& spec) { return spec.name == name; });
    return found == commands.end() ? nullptr : &*found;
}
