#include "Halvex/Views/VyPlainLabel.h"

#include <QLabel>

QLabel* vyPlainLabel(const char* objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setTextFormat(Qt::PlainText);
    return label;
}
