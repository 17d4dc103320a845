#include "editor/NetKeyloft_PreferencesWindowController.h"

#include "editor/ApplicationCommands.h"
#include "editor/PreferenceBindings.h"
#include "platform/FloatingWindow.h"
#include "platform/UserDefaultsController.h"
#include "settings/NetKeyloft_Preferences.h"
#include "settings/PreferenceKeys.h"
#include "store/NetKeyloftStringUtils.h"

#include "ui_Preferences.h"

#include <QKeySequence>
#include <QShortcut>
#include <QSignalBlocker>
#include <QWidget>

namespace {

const QString frameName = QStringLiteral("NKL_PREF_WINDOW_FRAME");

// The preferences whose key paths the window observes.
const QLatin1String observedKeys[] = {NKLPREFS_SortBy_Key, NKLPREFS_SortAscending_Key,
                                      NKLPREFS_UseSpellChecker_Key, NKLPREFS_LoadAtStartup_Key,
                                      NKLPREFS_LockAfterIdle_Key};

} // namespace

NetKeyloft_PreferencesWindowController::NetKeyloft_PreferencesWindowController(
    ApplicationCommands& commands, NetKeyloft_Preferences& preferences)
    : m_commands(commands), m_preferences(preferences), m_window(std::make_unique<QWidget>()),
      m_ui(std::make_unique<Ui::Preferences>())
{
    m_ui->setupUi(m_window.get());
    setLockTexts();
    FloatingWindow::configure(*m_window);
    showPreferenceValues();
    connectControls();
    observePreferences();
    bindClipboardAndGenerator();

    auto* frameAutosave =
        new WindowFrameAutosave(*m_window, m_preferences.userDefaults(), frameName);
    if (!frameAutosave->restore()) {
        // The first time, the layout file's size in the middle of the screen.
        FloatingWindow::centre(*m_window);
    }
    showWindow();
}

NetKeyloft_PreferencesWindowController::~NetKeyloft_PreferencesWindowController()
{
    for (const QLatin1String key : observedKeys) {
        m_preferences.defaultsController().removeObserver(
            this, UserDefaultsController::keyPathForKey(key));
    }
}

void NetKeyloft_PreferencesWindowController::showWindow()
{
    FloatingWindow::bringToFront(*m_window);
}

QWidget* NetKeyloft_PreferencesWindowController::window() const
{
    return m_window.get();
}

void NetKeyloft_PreferencesWindowController::connectControls()
{
    using C = NetKeyloft_PreferencesWindowController;
    // Only the user's own changes count: the controls' signals for that are
    // activated and clicked, which setting a control from a preference does not send.
    connect(m_ui->sortByComboBox, &QComboBox::activated, this, &C::sortByChosen);
    connect(m_ui->sortAscendingRadioButton, &QRadioButton::clicked, this,
            [this] { m_commands.sortItemsAscending(true); });
    connect(m_ui->sortDescendingRadioButton, &QRadioButton::clicked, this,
            [this] { m_commands.sortItemsAscending(false); });
    connect(m_ui->useSpellCheckerCheckBox, &QCheckBox::clicked, this, &C::useSpellCheckerChosen);
    connect(m_ui->loadAtStartupCheckBox, &QCheckBox::clicked, this, &C::loadAtStartupChosen);
    connect(m_ui->lockAfterIdleSpinBox, &QSpinBox::valueChanged, this, [this](int minutes) {
        if (minutes != m_preferences.lockAfterIdleMinutes()) {
            m_preferences.setLockAfterIdleMinutes(minutes);
        }
    });
    connect(m_ui->disableAutoLoginHelpButton, &QPushButton::clicked, this,
            [this] { m_commands.openDisableAutoLoginForThisMacHelp(); });

    auto* close = new QShortcut(QKeySequence::Close, m_window.get());
    connect(close, &QShortcut::activated, m_window.get(), &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_window.get());
    connect(escape, &QShortcut::activated, m_window.get(), &QWidget::close);
}

void NetKeyloft_PreferencesWindowController::bindClipboardAndGenerator()
{
    m_bindings = new PreferenceBindings(m_preferences.defaultsController(), this);
    m_bindings->bind(m_ui->clearClipboardAfterSpinBox, NKLPREFS_ClearClipboardAfter_Key);
    m_bindings->bind(m_ui->clearCopiedUserNamesCheckBox, NKLPREFS_ClearCopiedUserNames_Key);
    m_bindings->bind(m_ui->generatorLengthSpinBox, NKLPREFS_GeneratorLength_Key);
    // A password needs characters of at least one class: the last one stays checked.
    QCheckBox* const classes[] = {m_ui->generatorLowercaseCheckBox,
                                  m_ui->generatorUppercaseCheckBox, m_ui->generatorDigitsCheckBox,
                                  m_ui->generatorSymbolsCheckBox};
    const auto anotherClassChecked = [classes] {
        return std::any_of(std::begin(classes), std::end(classes),
                           [](const QCheckBox* box) { return box->isChecked(); });
    };
    const QLatin1String classKeys[] = {NKLPREFS_GeneratorLowercase_Key,
                                       NKLPREFS_GeneratorUppercase_Key,
                                       NKLPREFS_GeneratorDigits_Key, NKLPREFS_GeneratorSymbols_Key};
    for (std::size_t i = 0; i < std::size(classes); ++i) {
        m_bindings->bind(classes[i], classKeys[i], anotherClassChecked);
    }
    m_bindings->bind(m_ui->generatorAvoidLookAlikesCheckBox, NKLPREFS_GeneratorAvoidLookAlikes_Key);
}

void NetKeyloft_PreferencesWindowController::observePreferences()
{
    for (const QLatin1String key : observedKeys) {
        m_preferences.defaultsController().addObserver(
            this, UserDefaultsController::keyPathForKey(key),
            [this](const QString&) { showPreferenceValues(); });
    }
}

void NetKeyloft_PreferencesWindowController::showPreferenceValues()
{
    showSortBy();
    showSortAscending();
    showUseSpellChecker();
    showLoadAtStartup();
    const QSignalBlocker blocker(m_ui->lockAfterIdleSpinBox);
    m_ui->lockAfterIdleSpinBox->setValue(m_preferences.lockAfterIdleMinutes());
}

void NetKeyloft_PreferencesWindowController::setLockTexts()
{
    using NetKeyloftStringUtils::localizedString;
    m_ui->lockGroupBox->setTitle(localizedString(QStringLiteral("KLOFT_PrefsLockTitle")));
    m_ui->lockAfterIdleLabel->setText(localizedString(QStringLiteral("KLOFT_PrefsLockAfterIdle")));
    m_ui->lockAfterIdleSpinBox->setSpecialValueText(
        localizedString(QStringLiteral("KLOFT_PrefsLockNever")));
    m_ui->lockAfterIdleSpinBox->setSuffix(
        localizedString(QStringLiteral("KLOFT_PrefsLockMinutesSuffix")));
    m_ui->lockAfterIdleSpinBox->setToolTip(
        localizedString(QStringLiteral("KLOFT_PrefsLockAfterIdleTip")));
}

void NetKeyloft_PreferencesWindowController::showSortBy()
{
    // The choices are listed in the order of the sort keys; a value that names no
    // key selects none.
    const std::optional<SortKey> key =
        SortKeys::fromPreferenceValue(m_preferences.sortByMenuItem());
    const auto position = std::find(SortKeys::all.begin(), SortKeys::all.end(), key);
    m_ui->sortByComboBox->setCurrentIndex(
        position == SortKeys::all.end() ? -1 : int(position - SortKeys::all.begin()));
}

void NetKeyloft_PreferencesWindowController::showSortAscending()
{
    const bool ascending = m_preferences.sortAscending();
    m_ui->sortAscendingRadioButton->setChecked(ascending);
    m_ui->sortDescendingRadioButton->setChecked(!ascending);
}

void NetKeyloft_PreferencesWindowController::showUseSpellChecker()
{
    m_ui->useSpellCheckerCheckBox->setChecked(
        m_preferences.defaultsController().value(NKLPREFS_UseSpellChecker_Key).toBool());
}

void NetKeyloft_PreferencesWindowController::showLoadAtStartup()
{
    m_ui->loadAtStartupCheckBox->setChecked(m_preferences.loadAtStartup());
}

void NetKeyloft_PreferencesWindowController::sortByChosen(int index)
{
    if (index >= 0 && std::size_t(index) < SortKeys::all.size()) {
        m_commands.sortBy(SortKeys::all[std::size_t(index)]);
    }
}

void NetKeyloft_PreferencesWindowController::useSpellCheckerChosen(bool use)
{
    // Read by the edit window when it is made, that is at the next start.
    m_preferences.defaultsController().setValue(NKLPREFS_UseSpellChecker_Key, use);
}

void NetKeyloft_PreferencesWindowController::loadAtStartupChosen(bool load)
{
    // The application switches and moves the tray menu's check mark; storing the
    // choice shows it here again.
    if (m_preferences.loadAtStartup() != load) {
        m_commands.setStartAtLogin(load);
    }
    showLoadAtStartup();
}
