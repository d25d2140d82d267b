#include "Halvex/Views/KvPrivateKeysTableView.h"

#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Wendle/Views/WendleAlert.h"

#include <QLineEdit>

KvPrivateKeysTableView::KvPrivateKeysTableView(QWidget* parent) : QTableView(parent) {
    setObjectName(QStringLiteral("keysTableView"));
}

bool KvPrivateKeysTableView::textShouldBeginEditing(const QString& text) {
    cachedValue_ = text;
    return true;
}

bool KvPrivateKeysTableView::textShouldEndEditing(const QString& text) {
    if (text == cachedValue_) return true;
    auto error = HalvexPrivateKeyContainer::sharedPrivateKeyContainer().renamePrivateKey(
        cachedValue_.toStdString(), text.toStdString());
    if (error) {
        WendleAlert alert = WendleAlert::alertWithError(*error);
        vySafeRunModal(alert, window());
        return false;
    }
    return true;
}

bool KvPrivateKeysTableView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    const bool editing = QTableView::edit(index, trigger, event);
    if (editing && trigger != QAbstractItemView::NoEditTriggers && state() == EditingState)
        textShouldBeginEditing(index.data(Qt::EditRole).toString());
    return editing;
}

void KvPrivateKeysTableView::commitData(QWidget* editor) {
    auto* field = qobject_cast<QLineEdit*>(editor);
    if (!field) return QTableView::commitData(editor);
    // The error alert takes the focus from the editor, which asks again to
    // end; the first ending decides.
    if (ending_) return;
    ending_ = true;
    const bool accepted = textShouldEndEditing(field->text());
    ending_ = false;
    if (!accepted) {
        // The name stays as it is, and the editor stays open for another try.
        refusedEditor_ = editor;
        return;
    }
    refusedEditor_ = nullptr;
    QTableView::commitData(editor);
    cachedValue_ = field->text();
}

void KvPrivateKeysTableView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (ending_) return;
    if (editor == refusedEditor_ && hint != QAbstractItemDelegate::RevertModelCache) {
        refusedEditor_ = nullptr;
        editor->setFocus(Qt::OtherFocusReason);
        if (auto* field = qobject_cast<QLineEdit*>(editor)) field->selectAll();
        return;
    }
    refusedEditor_ = nullptr;
    QTableView::closeEditor(editor, hint);
}
