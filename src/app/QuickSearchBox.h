#pragma once

#include "store/NetKeyloft_Item.h"

#include <QWidget>

#include <functional>
#include <vector>

class ItemSearchIndex;
class QLineEdit;
class QListWidget;

// A small box that finds an entry as the user types: the matches of the search index
// below a field; arrow keys choose, Enter copies the password, Shift+Enter the user
// name, Ctrl+E opens the entry in the edit window, Escape closes.
class QuickSearchBox final : public QWidget {
    Q_OBJECT

public:
    struct Commands {
        std::function<void(const ItemPtr&)> copyPassword;
        std::function<void(const ItemPtr&)> copyUserName;
        std::function<void(const ItemPtr&)> edit;
    };

    // How many matches the box lists.
    static constexpr std::size_t shownMatches = 12;

    QuickSearchBox(const ItemSearchIndex& index, Commands commands, QWidget* parent = nullptr);
    ~QuickSearchBox() override;

    // Shows the box, emptied, near point (kept on its screen), with the field focused.
    void popUp(const QPoint& point);
    // The entries listed now, best first.
    const std::vector<ItemPtr>& shown() const { return m_shown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refilter();
    ItemPtr chosen() const;
    // Closes the box and runs command on the chosen entry, if any.
    void perform(const std::function<void(const ItemPtr&)>& command);

    const ItemSearchIndex& m_index;
    Commands m_commands;
    QLineEdit* m_field = nullptr;
    QListWidget* m_results = nullptr;
    std::vector<ItemPtr> m_shown;
};
