#pragma once

#include "Rellum/View/RellumTokenField.h"

#include <QStyledItemDelegate>

// Draws a list cell holding a send text the way the token field shows it:
// escapes as squared tokens, the rest as text, as the token-field delegate says.
class RellumTokenItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    RellumTokenItemDelegate(const RellumTokenFieldDelegate* tokenDelegate, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const RellumTokenFieldDelegate* tokenDelegate_;
};
