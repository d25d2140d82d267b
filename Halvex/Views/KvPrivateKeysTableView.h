#pragma once

#include <QString>
#include <QTableView>

// The keys table of the private-keys pane. Ending an inline edit of a key's
// name renames its file in the store; when the store refuses (a name in
// use, an empty or invalid name) the error is shown and the edit stays open.
// Only a rename that succeeded reaches the model. GUI thread only.
class KvPrivateKeysTableView : public QTableView {
    Q_OBJECT

public:
    explicit KvPrivateKeysTableView(QWidget* parent = nullptr);
    using QTableView::edit;

    // Whether a name is being edited.
    bool isEditing() const { return state() == EditingState; }

    // The name as it was when editing began.
    const QString& cachedValue() const { return cachedValue_; }

    // Whether editing may begin: remembers the current text.
    bool textShouldBeginEditing(const QString& text);
    // Whether editing may end with `text`: renames the file when the text
    // changed; false (the editor stays open) when the rename failed.
    bool textShouldEndEditing(const QString& text);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    QString cachedValue_;
    QWidget* refusedEditor_ = nullptr;
    bool ending_ = false;
};
