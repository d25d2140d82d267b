#pragma once

#include <QVariant>
#include <QWidget>

class QLabel;
class QLineEdit;

// A sidebar row: the entry's name, a message under it and a description at
// the right. On a selected row (background style dark) the message and the
// description turn to the highlighted-text colour, elsewhere they are grey;
// the name keeps its colour. The name can be edited in place; ending the edit
// emits nameDidEndEditing.
//
// The fields bind to the keys "name", "message" and "description" of the
// row's object value (vyValueForKey).
class VyHighlightedTableCellView : public QWidget {
    Q_OBJECT

public:
    enum BackgroundStyle { BackgroundStyleLight = 0, BackgroundStyleDark = 1 };

    explicit VyHighlightedTableCellView(QWidget* parent = nullptr);

    QVariant objectValue() const { return objectValue_; }
    void setObjectValue(const QVariant& entry);

    int backgroundStyle() const { return backgroundStyle_; }
    void setBackgroundStyle(int style);

    // Makes the name field editable and gives it the keyboard.
    void beginEditing();
    bool isEditing() const;

    // Outlets.
    QLineEdit* nameTextField() const { return nameTextField_; }
    QLabel* messageTextField() const { return messageTextField_; }
    QLabel* descriptionTextField() const { return descriptionTextField_; }

signals:
    void nameDidEndEditing(const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void endEditing();

    QVariant objectValue_;
    int backgroundStyle_ = BackgroundStyleLight;
    QLineEdit* nameTextField_;
    QLabel* messageTextField_;
    QLabel* descriptionTextField_;
};
