#include "settings/NetKeyloft_HelpWindowController.h"

#include "platform/FloatingWindow.h"
#include "platform/Log.h"
#include "settings/WebLinks.h"

#include "ui_Help.h"

#include <QIcon>
#include <QTextBrowser>
#include <QWidget>

namespace {

const QString helpFolder = QStringLiteral("/help/");

} // namespace

NetKeyloft_HelpWindowController::NetKeyloft_HelpWindowController(
    std::function<bool(const QUrl&)> openUrl, const QUrl& page)
    : m_ui(std::make_unique<Ui::Help>()), m_window(std::make_unique<QWidget>()),
      m_openUrl(std::move(openUrl))
{
    m_ui->setupUi(m_window.get());
    FloatingWindow::configure(*m_window);
    m_window->setWindowIcon(QIcon(QStringLiteral(":/key.png")));
    // The window takes the title of the page it shows.
    connect(m_ui->view, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_ui->view->documentTitle();
        if (!title.isEmpty()) {
            m_window->setWindowTitle(title);
        }
    });
    connect(m_ui->view, &QTextBrowser::anchorClicked, this,
            &NetKeyloft_HelpWindowController::followLink);
    m_ui->view->setSource(page, QTextDocument::HtmlResource);
}

NetKeyloft_HelpWindowController::~NetKeyloft_HelpWindowController() = default;

QUrl NetKeyloft_HelpWindowController::secureKeyloftPage()
{
    return QUrl(QStringLiteral("qrc:/help/SecureKeyloft.html"));
}

QUrl NetKeyloft_HelpWindowController::userGuidePage()
{
    return QUrl(QStringLiteral("qrc:/help/KeyloftHelp.html"));
}

NetKeyloft_HelpWindowController::LinkAction
NetKeyloft_HelpWindowController::actionForLink(const QUrl& link)
{
    const QString path = link.adjusted(QUrl::NormalizePathSegments).path();
    if (link.scheme() == QStringLiteral("qrc") && path.startsWith(helpFolder)) {
        return LinkAction::ShowInWindow;
    }
    if (WebLinks::isWebAddress(link)) {
        return LinkAction::OpenInBrowser;
    }
    return LinkAction::Ignore;
}

void NetKeyloft_HelpWindowController::followLink(const QUrl& link)
{
    // Links in a page are relative to it: "#locking" or "SecureKeyloft.html".
    const QUrl target = m_ui->view->source().resolved(link);
    switch (actionForLink(target)) {
    case LinkAction::ShowInWindow:
        m_ui->view->setSource(target, QTextDocument::HtmlResource);
        break;
    case LinkAction::OpenInBrowser:
        if (m_openUrl) {
            m_openUrl(target);
        }
        break;
    case LinkAction::Ignore:
        logLine(
            QStringLiteral("Help: link not followed: %1").arg(target.toString(QUrl::FullyEncoded)));
        break;
    }
}

void NetKeyloft_HelpWindowController::openWindow()
{
    FloatingWindow::centre(*m_window);
    FloatingWindow::bringToFront(*m_window);
}

QWidget* NetKeyloft_HelpWindowController::window() const
{
    return m_window.get();
}

QTextBrowser* NetKeyloft_HelpWindowController::view() const
{
    return m_ui->view;
}
