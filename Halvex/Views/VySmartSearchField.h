#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QStringList>

class QAction;
class VyMenu;

// The search field's state behind its looks: the recent searches and the
// template of its search menu, whose sections follow the recents by the
// menu tags below.
class VySmartSearchFieldCell : public QObject {
    Q_OBJECT

public:
    // Item tags of a search-menu template.
    static constexpr int RecentsTitleMenuItemTag = 1000;
    static constexpr int RecentsMenuItemTag = 1001;
    static constexpr int ClearRecentsMenuItemTag = 1002;
    static constexpr int NoRecentsMenuItemTag = 1003;

    explicit VySmartSearchFieldCell(QObject* parent = nullptr);

    int maximumRecents() const { return maximumRecents_; }
    void setMaximumRecents(int count);
    // Most recent first.
    const QStringList& recentSearches() const { return recentSearches_; }
    void setRecentSearches(const QStringList& searches);
    // Puts a search first (once), dropping the oldest past the maximum.
    void addRecentSearch(const QString& text);

    VyMenu* searchMenuTemplate() const { return searchMenuTemplate_; }
    // A template replaced by another is deleted; make it a child of the field.
    void setSearchMenuTemplate(VyMenu* menu);
    // Brings the template's recents section up to date: one item per recent
    // search where the "recents" item stands, the title and clear items shown
    // only with recents, the "no recents" item only without.
    void updateRecentsItems();

signals:
    // A recent search was chosen from the menu.
    void recentSearchChosen(const QString& text);

private:
    int maximumRecents_ = 10;
    QStringList recentSearches_;
    QPointer<VyMenu> searchMenuTemplate_;
    QList<QAction*> recentItems_;
};

// A search field: a menu button at its left that opens the cell's search
// menu, a cancel button at its right while there is text. Return sends the
// search action (recording the text as a recent search); typing reports each
// change. The field only announces the cancel button; its target empties it.
class VySmartSearchField : public QLineEdit {
    Q_OBJECT

public:
    explicit VySmartSearchField(QWidget* parent = nullptr);

    VySmartSearchFieldCell* cell() const { return cell_; }
    QAction* searchButton() const { return searchButton_; }
    QAction* cancelButton() const { return cancelButton_; }
    // Opens the search menu under the field (does nothing without a template).
    void popUpSearchMenu();

signals:
    void searchAction();
    void cancelButtonClicked();
    // The user changed the text (typing or deleting), never a programmatic set.
    void textDidChange();

private:
    void performSearchAction();

    VySmartSearchFieldCell* cell_;
    QAction* searchButton_;
    QAction* cancelButton_;
};
