#include "platform/QtDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

QMessageBox::Icon iconFor(Alert::Style style)
{
    switch (style) {
    case Alert::Style::Warning:
        return QMessageBox::Warning;
    case Alert::Style::Critical:
        return QMessageBox::Critical;
    case Alert::Style::Informational:
        break;
    }
    return QMessageBox::Information;
}

// Filters the file dialog's listing through keychainFileDialogShows.
class KeychainFileFilter final : public QSortFilterProxyModel {
protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (files == nullptr) {
            return true;
        }
        return keychainFileDialogShows(files->filePath(files->index(row, 0, parent)));
    }
};

// Reads a line edit's text into secret bytes and wipes the edit.
SecretBytes takeSecret(QLineEdit* edit)
{
    SecretBytes secret = SecretBytes::fromUtf8(edit->text());
    edit->clear();
    return secret;
}

QString keychainName(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).fileName());
}

} // namespace

int QtDialogs::runAlert(const Alert& alert)
{
    QMessageBox box;
    box.setIcon(iconFor(alert.style));
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    box.setDetailedText(alert.detailedText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    std::vector<QPushButton*> buttons;
    for (const QString& title : alert.buttons) {
        buttons.push_back(box.addButton(title, buttons.empty() ? QMessageBox::AcceptRole
                                                               : QMessageBox::RejectRole));
    }
    if (!buttons.empty()) {
        box.setDefaultButton(buttons.front());
    }
    box.activateWindow();
    box.raise();
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) {
            return int(i);
        }
    }
    return int(buttons.size()) - 1;
}

std::optional<QString> QtDialogs::chooseKeychainFile()
{
    QFileDialog dialog(nullptr, QApplication::translate("Dialogs", "Choose a keychain"));
    // A name that does not exist yet is accepted: the program then creates a new
    // keychain there.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QApplication::translate("Dialogs", "Keychains (*.keychain)"));
    dialog.setDefaultSuffix(QStringLiteral("keychain"));
    dialog.setProxyModel(new KeychainFileFilter);
    // A first start has no keychain yet: propose one in the program's data folder.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/Keyloft");
    QDir().mkpath(folder);
    dialog.setDirectory(folder);
    dialog.selectFile(QStringLiteral("Passwords.keychain"));
    dialog.setLabelText(QFileDialog::Accept, QApplication::translate("Dialogs", "Open or Create"));
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

std::optional<SecretBytes> QtDialogs::askKeychainPassword(const QString& path, int attempt)
{
    QDialog dialog;
    dialog.setWindowTitle(QApplication::translate("Dialogs", "Unlock keychain"));
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    auto* layout = new QVBoxLayout(&dialog);
    QString text = QApplication::translate("Dialogs", "Enter the password of the keychain “%1”.")
                       .arg(keychainName(path));
    if (attempt > 1) {
        text = QApplication::translate("Dialogs", "The password was not correct. ") + text;
    }
    layout->addWidget(new QLabel(text, &dialog));
    auto* edit = new QLineEdit(&dialog);
    edit->setEchoMode(QLineEdit::Password);
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        edit->clear();
        return std::nullopt;
    }
    return takeSecret(edit);
}

std::optional<SecretBytes> QtDialogs::askNewKeychainPassword(const QString& path)
{
    QDialog dialog;
    dialog.setWindowTitle(QApplication::translate("Dialogs", "New keychain"));
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QApplication::translate("Dialogs", "Choose a password for the new keychain “%1”.")
            .arg(keychainName(path)),
        &dialog));
    auto* form = new QFormLayout;
    auto* first = new QLineEdit(&dialog);
    auto* second = new QLineEdit(&dialog);
    first->setEchoMode(QLineEdit::Password);
    second->setEchoMode(QLineEdit::Password);
    form->addRow(QApplication::translate("Dialogs", "Password:"), first);
    form->addRow(QApplication::translate("Dialogs", "Verify:"), second);
    layout->addLayout(form);
    auto* mismatch = new QLabel(&dialog);
    layout->addWidget(mismatch);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    const auto check = [=] {
        const bool same = first->text() == second->text();
        ok->setEnabled(same && !first->text().isEmpty());
        if (!same) {
            mismatch->setText(QApplication::translate("Dialogs", "The passwords differ."));
        } else if (first->text().isEmpty()) {
            mismatch->setText(QApplication::translate(
                "Dialogs", "A keychain needs a password: anyone could open it without one."));
        } else {
            mismatch->clear();
        }
    };
    check();
    QObject::connect(first, &QLineEdit::textChanged, &dialog, check);
    QObject::connect(second, &QLineEdit::textChanged, &dialog, check);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    second->clear();
    if (!accepted) {
        first->clear();
        return std::nullopt;
    }
    return takeSecret(first);
}
