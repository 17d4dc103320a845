#pragma once

#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

class QTextBrowser;
class QWidget;

namespace Ui {
class Help;
}

// A help window: one of the application's help pages in a text browser. By default the
// page of advice on securing the computer and the keychain; the application's user
// guide uses the same kind of window. The page is loaded once, when the controller is
// made: closing the window only hides it, and the next request shows it as the user
// left it. Links between help pages are followed in the window; web links open in the
// desktop's browser; any other link is ignored.
class NetKeyloft_HelpWindowController : public QObject {
    Q_OBJECT

public:
    // openUrl is what a web link is handed to (the desktop's browser in the application).
    explicit NetKeyloft_HelpWindowController(std::function<bool(const QUrl&)> openUrl,
                                             const QUrl& page = secureKeyloftPage());
    ~NetKeyloft_HelpWindowController() override;

    // Centres the window and brings it to the front with the keyboard focus.
    void openWindow();
    QWidget* window() const;
    QTextBrowser* view() const;
    // What a click on link does.
    enum class LinkAction { ShowInWindow, OpenInBrowser, Ignore };
    static LinkAction actionForLink(const QUrl& link);

    // The advice on securing the computer ("SecureKeyloft").
    static QUrl secureKeyloftPage();
    // The application's user guide.
    static QUrl userGuidePage();

private:
    void followLink(const QUrl& link);

    std::unique_ptr<Ui::Help> m_ui;
    std::unique_ptr<QWidget> m_window;
    std::function<bool(const QUrl&)> m_openUrl;
};
