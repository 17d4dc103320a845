#include "platform/WaylandClipboard.h"

#include "platform/Log.h"
#include "platform/SecretBytes.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace {

const QString kCopyProgram = QStringLiteral("wl-copy");
const QString kPasteProgram = QStringLiteral("wl-paste");

// Long enough for a busy compositor to hand wl-copy the focus, short enough that
// a compositor that never does cannot hang the menu command for good.
constexpr int kToolTimeoutMs = 5000;

// Waits for the tool to end, killing it when it overstays; true when it succeeded.
bool finishedWell(QProcess& process)
{
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished(kToolTimeoutMs);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString failureOf(QProcess& process)
{
    const QString detail = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return detail.isEmpty() ? process.errorString() : detail;
}

} // namespace

bool WaylandClipboard::isAvailable()
{
    return !QStandardPaths::findExecutable(kCopyProgram).isEmpty() &&
           !QStandardPaths::findExecutable(kPasteProgram).isEmpty();
}

bool WaylandClipboard::setSecretText(const QString& text)
{
    QProcess copy;
    copy.setStandardOutputFile(QProcess::nullDevice());
    // The type is given so that wl-copy does not guess it by handing the text to
    // xdg-mime. The text itself goes through standard input: a command line is
    // readable by every user of the machine.
    copy.start(kCopyProgram, {QStringLiteral("--type"), QStringLiteral("text/plain")});
    if (!copy.waitForStarted(kToolTimeoutMs)) {
        logLine(QStringLiteral("wl-copy did not start: %1").arg(copy.errorString()));
        return false;
    }
    const SecretBytes bytes = SecretBytes::fromUtf8(text);
    copy.write(bytes.data(), static_cast<qint64>(bytes.size()));
    copy.closeWriteChannel();
    // wl-copy returns once it has set the selection, leaving a child behind that
    // serves the text until another program takes the clipboard; from its end
    // on, other programs paste the text.
    if (!finishedWell(copy)) {
        logLine(QStringLiteral("wl-copy failed: %1").arg(failureOf(copy)));
        return false;
    }
    return true;
}

QString WaylandClipboard::text() const
{
    QProcess paste;
    paste.setStandardErrorFile(QProcess::nullDevice());
    paste.start(kPasteProgram,
                {QStringLiteral("--no-newline"), QStringLiteral("--type"), QStringLiteral("text")});
    // wl-paste fails on an empty clipboard as well; both read as no text.
    if (!paste.waitForStarted(kToolTimeoutMs) || !finishedWell(paste)) {
        return {};
    }
    QByteArray bytes = paste.readAllStandardOutput();
    const QString text = QString::fromUtf8(bytes);
    wipeMemory(bytes.data(), static_cast<std::size_t>(bytes.size()));
    return text;
}

bool WaylandClipboard::clear()
{
    // wl-copy --clear drops the selection without the focus a compositor asks of a
    // selection change, and weston ignores it; an empty copy takes the focus as every
    // copy does, and leaves nothing to paste.
    return setSecretText(QString());
}
