#include "EditWindowFixture.h"

#include "app/NetKeyloft_StatusMenuController.h"
#include "platform/keychain/FileKeychainServices.h"

#include <QAbstractItemModelTester>
#include <QMenu>
#include <QTest>

QStringList labels(const char* commaSeparated)
{
    return QString::fromUtf8(commaSeparated).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

EditWindowFixture::EditWindowFixture(const char* entries)
{
    app.createKeychain(labels(entries));
    app.preferences().setSortByMenuItem(0);
    app.preferences().setSortAscending(true);
    if (!app.launch()) {
        qFatal("the application did not launch");
    }
    app.controller().openEditWindow();
    // Every test checks that the table's model keeps the rules of item models.
    new QAbstractItemModelTester(table()->model(),
                                 QAbstractItemModelTester::FailureReportingMode::QtTest, &window());
}

NetKeyloft_EditController& EditWindowFixture::editor()
{
    return *app.controller().editWindowController()->controller();
}

QWidget& EditWindowFixture::window()
{
    return *app.controller().editWindowController()->window();
}

QStringList EditWindowFixture::rows()
{
    QStringList result;
    const QAbstractItemModel* model = table()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        result << model->index(row, 0).data().toString();
    }
    return result;
}

QStringList EditWindowFixture::trayEntries()
{
    return entryTitles(app.controller().menu());
}

std::unique_ptr<NetKeyloft_KeychainController> EditWindowFixture::reopenedList()
{
    FileKeychainServices services(app.dialogs(), FileKeychainKdf::minimum());
    app.dialogs().queuePassword(AppFixture::password);
    return NetKeyloft_KeychainController::create({services, app.defaults(), app.dialogs()});
}

void EditWindowFixture::clickRow(int row)
{
    QTableView* view = table();
    const QRect cell = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
}

QLineEdit* EditWindowFixture::cellEditor()
{
    const QList<QLineEdit*> editors = table()->viewport()->findChildren<QLineEdit*>();
    for (QLineEdit* editor : editors) {
        if (editor->isVisible()) {
            return editor;
        }
    }
    return nullptr;
}

void EditWindowFixture::typeNotes(const QString& text)
{
    notesEditor()->setPlainText(text);
    notesEditor()->document()->setModified(true);
}
