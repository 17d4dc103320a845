// The edit controller's set-up, its display of the list and the selected entry, and its
// two modes.

#include "editor/NetKeyloft_EditController.h"

#include "editor/ApplicationCommands.h"
#include "editor/ContinuousSpellChecking.h"
#include "editor/LabelCellDelegate.h"
#include "editor/NetKeyloft_CommentsTextView.h"
#include "editor/NetKeyloft_ItemTableModel.h"
#include "editor/NetKeyloft_TableHeaderview.h"
#include "editor/PasswordGeneratorControls.h"
#include "platform/FloatingWindow.h"
#include "platform/UserDefaults.h"
#include "platform/UserDefaultsController.h"
#include "settings/NetKeyloft_Preferences.h"
#include "store/NetKeyloft_KeychainController.h"

#include "ui_EditWindow.h"

#include <QItemSelectionModel>
#include <QMenu>

#include <climits>

NetKeyloft_EditController::NetKeyloft_EditController(Ui::EditWindow& ui, QWidget& window,
                                                     Services services)
    : QObject(&window), m_ui(ui), m_window(window), m_services(services)
{}

NetKeyloft_EditController::~NetKeyloft_EditController()
{
    observePreferences(false);
    m_ui.commentsTextView->setController(nullptr);
    m_headerView->setController(nullptr);
}

// --- Accessors --------------------------------------------------------------------------

void NetKeyloft_EditController::setKeychainController(
    NetKeyloft_KeychainController* keychainController)
{
    m_keychainController = keychainController;
    // Before the table: the entry being edited is still selected when the list says it
    // goes.
    followList();
    m_model->setKeychainController(keychainController);
}

QTableView* NetKeyloft_EditController::tableView() const
{
    return m_ui.tableView;
}

NetKeyloft_CommentsTextView* NetKeyloft_EditController::textView() const
{
    return m_ui.commentsTextView;
}

QLineEdit* NetKeyloft_EditController::userNameTextField() const
{
    return m_ui.userNameTextField;
}

QLineEdit* NetKeyloft_EditController::passwordTextField() const
{
    return m_ui.passwordTextField;
}

QPushButton* NetKeyloft_EditController::addItemButton() const
{
    return m_ui.addItemButton;
}

QPushButton* NetKeyloft_EditController::removeItemButton() const
{
    return m_ui.removeItemButton;
}

// --- Set-up -----------------------------------------------------------------------------

void NetKeyloft_EditController::awakeFromNib()
{
    setUpTable();
    observePreferences(true);
    createTableHeaderMenu();
    setUpTextViews();
    setColours();
    connectControls();
    // The window starts in view mode.
    putPane(m_ui.displayInfoView, m_ui.editInfoView);
    m_ui.editButton->setChecked(false);
}

void NetKeyloft_EditController::setUpTable()
{
    QTableView* table = m_ui.tableView;
    m_model = new NetKeyloft_ItemTableModel(this);
    m_model->setLabelEdit([this](const QString& label, int row) {
        return tableViewSetObjectValueForTableColumnRow(label, row);
    });
    table->setModel(m_model);
    m_delegate = new LabelCellDelegate(table);
    table->setItemDelegateForColumn(0, m_delegate);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_selectedEntry = m_keychainController
                              ? m_keychainController->keychainItemAtIndex(selectedRow())
                              : ItemPtr();
        tableRowChanged();
    });
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    // Rows are never dragged: the order comes from sorting only.
    table->setDragDropMode(QAbstractItemView::NoDragDrop);
    table->setDragEnabled(false);
    table->setAcceptDrops(false);
    table->setSortingEnabled(false);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();

    // The header that sorts replaces the table's own; the table owns it from now on.
    m_headerView = new NetKeyloft_TableHeaderview(table);
    m_headerView->setController(this);
    table->setHorizontalHeader(m_headerView);
    // The table hides the direction mark of a header it does not sort itself.
    m_headerView->setSortIndicatorShown(true);
}

void NetKeyloft_EditController::createTableHeaderMenu()
{
    m_tableHeaderMenu = std::make_unique<QMenu>(tr("Sort By"));
    const std::pair<QAction*, SortKey> items[] = {
        {m_ui.sortByIndexMenuItem, SortKey::Index},
        {m_ui.sortByLabelMenuItem, SortKey::Label},
        {m_ui.sortByDateCreatedMenuItem, SortKey::DateCreated},
        {m_ui.sortByCountUsedMenuItem, SortKey::CountUsed}};
    for (const auto& [item, key] : items) {
        item->setData(SortKeys::headerMenuTag(key));
        m_tableHeaderMenu->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { tableColumnMenuAction(item); });
    }
}

void NetKeyloft_EditController::setUpTextViews()
{
    m_ui.commentsTextView->setController(this);
    for (QPlainTextEdit* notes :
         {static_cast<QPlainTextEdit*>(m_ui.commentsTextView), m_ui.commentsTextField}) {
        notes->setUndoRedoEnabled(true);
        notes->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    }
    applySpellCheckingPreference();
    m_ui.commentsTextField->setReadOnly(true);
    m_ui.commentsTextField->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                                    Qt::TextSelectableByKeyboard);
    for (QLineEdit* field : {m_ui.staticUserNameTextField, m_ui.staticPasswordTextField}) {
        field->setReadOnly(true);
    }
    // The fields hold whatever the keychain holds, however long.
    for (QLineEdit* field : {m_ui.userNameTextField, m_ui.passwordTextField,
                             m_ui.staticUserNameTextField, m_ui.staticPasswordTextField}) {
        field->setMaxLength(INT_MAX);
    }
}

namespace {

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    widget->setPalette(palette);
}

} // namespace

void NetKeyloft_EditController::setColours()
{
    const QColor lightYellow = QColor::fromRgbF(1.0f, 0.980629f, 0.489628f, 1.0f);
    const QColor blue = QColor::fromRgbF(0.0f, 0.0f, 0.88f, 1.0f);
    const QColor darkGrey = QColor::fromRgbF(0.3f, 0.3f, 0.3f, 1.0f);
    const QColor cream = QColor::fromRgbF(1.0f, 0.980629f, 0.861289f, 1.0f);
    for (QWidget* field : std::initializer_list<QWidget*>{
             m_ui.commentsTextView, m_ui.passwordTextField, m_ui.userNameTextField}) {
        setColour(field, QPalette::Base, lightYellow);
    }
    for (QWidget* field : {m_ui.staticUserNameTextField, m_ui.staticPasswordTextField}) {
        setColour(field, QPalette::Text, blue);
        setColour(field, QPalette::Base, Qt::white);
    }
    for (QWidget* caption : {m_ui.passwordTextFieldLabel, m_ui.userNameTextFieldLabel,
                             m_ui.staticPasswordTextFieldLabel, m_ui.staticUserNameTextFieldLabel,
                             m_ui.staticCommentsTextFieldLabel, m_ui.commentsTextViewLabel}) {
        setColour(caption, QPalette::WindowText, darkGrey);
    }
    setColour(m_ui.commentsTextField, QPalette::Base, cream);
}

void NetKeyloft_EditController::connectControls()
{
    using C = NetKeyloft_EditController;
    connect(m_ui.addItemButton, &QPushButton::clicked, this, &C::addItemButtonAction);
    connect(m_ui.removeItemButton, &QPushButton::clicked, this, &C::removeItemButtonAction);
    connect(m_ui.editButton, &QPushButton::clicked, this, &C::editButtonAction);
    connect(m_ui.getUserNameButton, &QPushButton::clicked, this, &C::copyUsernameButtonAction);
    connect(m_ui.getPasswordButton, &QPushButton::clicked, this, &C::copyPasswordButtonAction);
    connect(m_ui.helpButton, &QToolButton::clicked, this, &C::openHelp);
    connect(m_ui.preferencesButton, &QToolButton::clicked, this, [this] {
        if (m_commands) {
            m_commands->openPreferencesWindow();
        }
    });
    connect(m_ui.userNameTextField, &QLineEdit::returnPressed, this, &C::editUserNameTextfield);
    connect(m_ui.passwordTextField, &QLineEdit::returnPressed, this, &C::editPasswordTextfield);
    new PasswordGeneratorControls(*m_ui.generatePasswordButton, *m_ui.passwordTextField,
                                  *m_ui.passwordStrengthLabel,
                                  m_services.preferences.userDefaults(), this);
}

void NetKeyloft_EditController::observePreferences(bool observe)
{
    if (observe == m_observing) {
        return;
    }
    m_observing = observe;
    m_services.preferences.defaultsController().observeKeys(
        this, {NKLPREFS_SortBy_Key, NKLPREFS_SortAscending_Key}, observe,
        [this](const QString& path) { observeValueForKeyPath(path); });
}

void NetKeyloft_EditController::removeObserversToQuit()
{
    observePreferences(false);
}

// --- Display ----------------------------------------------------------------------------

// The window is made once per run and kept, so the preference is read each time it
// opens: a change made meanwhile takes effect when the window next opens.
void NetKeyloft_EditController::applySpellCheckingPreference()
{
    const bool spellChecking =
        m_services.preferences.userDefaults().boolForKey(NKLPREFS_UseSpellChecker_Key);
    for (QPlainTextEdit* notes :
         {static_cast<QPlainTextEdit*>(m_ui.commentsTextView), m_ui.commentsTextField}) {
        setContinuousSpellChecking(
            *notes, spellChecking && m_services.spellChecker ? m_services.spellChecker() : nullptr);
    }
}

void NetKeyloft_EditController::awakeFromController()
{
    applySpellCheckingPreference();
    // Nothing typed is saved here: whoever needs that saves first.
    if (isInEditMode()) {
        switchToViewMode();
    }
    if (m_ui.editButton->isChecked()) {
        m_ui.editButton->setChecked(false);
    }
    showEditButtons(!listIsEmpty());
    refreshData();
    const int row = selectedRow();
    if (row >= 0) {
        m_ui.tableView->scrollTo(m_model->index(row, 0));
    }
}

void NetKeyloft_EditController::refreshData()
{
    setTableMenuItemOn(m_services.preferences.sortByMenuItem());
    setColumnAscendingIndicator();
}

void NetKeyloft_EditController::observeValueForKeyPath(const QString& keyPath)
{
    if (keyPath == UserDefaultsController::keyPathForKey(NKLPREFS_SortBy_Key)) {
        setTableMenuItemOn(m_services.preferences.sortByMenuItem());
    } else if (keyPath == UserDefaultsController::keyPathForKey(NKLPREFS_SortAscending_Key)) {
        setColumnAscendingIndicator();
    }
}

int NetKeyloft_EditController::selectedRow() const
{
    const QModelIndexList rows = m_ui.tableView->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void NetKeyloft_EditController::selectRow(int row)
{
    QItemSelectionModel* selection = m_ui.tableView->selectionModel();
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid()) {
        selection->clear();
        return;
    }
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void NetKeyloft_EditController::selectEntry(const NetKeyloft_Item* entry)
{
    const int row = m_keychainController->indexInKeychainItemsForItem(entry);
    if (row >= 0) {
        selectRow(row);
    }
}

bool NetKeyloft_EditController::listIsEmpty() const
{
    return !m_keychainController || m_keychainController->countOfKeychainItems() == 0;
}

int NetKeyloft_EditController::selectedEntryRow() const
{
    return listIsEmpty() ? -1 : selectedRow();
}

void NetKeyloft_EditController::tableRowChanged()
{
    // The entry being edited went away elsewhere: what was typed stays on show until
    // the user decides what becomes of it.
    if (m_orphan) {
        return;
    }
    const int row = selectedEntryRow();
    const ItemPtr item =
        m_keychainController ? m_keychainController->keychainItemAtIndex(row) : ItemPtr();
    // With no selected entry the pane shows nothing, so nothing can be saved to the
    // wrong entry.
    if (!item) {
        if (!listIsEmpty()) {
            clearAllTextFields();
        }
        return;
    }
    showStoredValues(storedValues(*item, true));
}

void NetKeyloft_EditController::fillEditPane(int row)
{
    const ItemPtr item = m_keychainController->keychainItemAtIndex(row);
    if (item) {
        showStoredValues(storedValues(*item, true));
    }
}

void NetKeyloft_EditController::editItemAtIndex(int index)
{
    if (isInEditMode() && selectedRow() >= 0) {
        saveAllEditItemInfo();
    } else if (!isInEditMode()) {
        switchToEditMode();
        m_ui.editButton->setChecked(true);
    }
    selectRow(index);
    fillEditPane(index);
    m_ui.tableView->scrollTo(m_model->index(index, 0));
    FloatingWindow::bringToFront(m_window);
}

// --- Modes ------------------------------------------------------------------------------

void NetKeyloft_EditController::putPane(QWidget* pane, QWidget* other)
{
    QLayout* layout = m_ui.view->layout();
    layout->removeWidget(other);
    other->hide();
    layout->removeWidget(pane);
    layout->addWidget(pane);
    pane->show();
}

void NetKeyloft_EditController::switchToEditMode()
{
    putPane(m_ui.editInfoView, m_ui.displayInfoView);
    QWidget::setTabOrder(m_ui.tableView, m_ui.userNameTextField);
}

void NetKeyloft_EditController::switchToViewMode()
{
    putPane(m_ui.displayInfoView, m_ui.editInfoView);
    QWidget::setTabOrder(m_ui.tableView, m_ui.staticUserNameTextField);
}

namespace {

QWidget* firstPane(const QWidget* view)
{
    const QLayout* layout = view->layout();
    const QLayoutItem* first = layout && layout->count() > 0 ? layout->itemAt(0) : nullptr;
    return first ? first->widget() : nullptr;
}

} // namespace

bool NetKeyloft_EditController::isInEditMode() const
{
    return firstPane(m_ui.view) == m_ui.editInfoView;
}

bool NetKeyloft_EditController::isInViewMode() const
{
    return firstPane(m_ui.view) == m_ui.displayInfoView;
}

void NetKeyloft_EditController::showEditButtons(bool show)
{
    const std::initializer_list<QPushButton*> buttons = {
        m_ui.removeItemButton, m_ui.getUserNameButton, m_ui.getPasswordButton, m_ui.editButton};
    for (QPushButton* button : buttons) {
        button->setEnabled(show);
    }
    for (QPushButton* button : buttons) {
        button->setHidden(!show);
    }
}

void NetKeyloft_EditController::clearAllTextFields()
{
    for (QLineEdit* field : {m_ui.userNameTextField, m_ui.passwordTextField,
                             m_ui.staticUserNameTextField, m_ui.staticPasswordTextField}) {
        field->clear();
    }
    m_ui.commentsTextView->setPlainText(QString());
    m_ui.commentsTextField->setPlainText(QString());
}

QString NetKeyloft_EditController::plainTextOf(const QPlainTextEdit& textView)
{
    // The raw text keeps non-breaking spaces that toPlainText() would turn into plain
    // ones; the document's paragraph separators (Return) and line separators
    // (Shift+Return) become plain line breaks again.
    QString text = textView.document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

// --- In-place label editing -------------------------------------------------------------

bool NetKeyloft_EditController::tableIsBeingEdited() const
{
    return m_delegate->editedRow() != -1;
}

void NetKeyloft_EditController::startEditingLabel(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid()) {
        return;
    }
    m_ui.tableView->setCurrentIndex(index);
    m_ui.tableView->edit(index);
}

void NetKeyloft_EditController::endTableEditingIfNeeded()
{
    const int row = selectedEntryRow();
    if (!tableIsBeingEdited() || row < 0) {
        return;
    }
    const QString label = m_delegate->editorText();
    m_delegate->abortEditing();
    if (label == m_keychainController->labelInKeychainItemsAtIndex(unsigned(row))) {
        return;
    }
    if (!m_keychainController->renameKeyChainItemAtIndexWithLabel(unsigned(row), label)) {
        startEditingLabel(row);
    }
}
