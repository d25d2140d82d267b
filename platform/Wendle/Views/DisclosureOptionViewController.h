#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <QToolButton>
class QWidget;

// A section that folds: its view shows a disclosure button (a triangle and
// the section's title) and, below it, the disclosed view while disclosed.
// It starts folded. GUI thread only.
//
// Object names: "disclosureOptionView" (the view), "disclosureButton".
class DisclosureOptionViewController : public QObject {
    Q_OBJECT

public:
    explicit DisclosureOptionViewController(const QString& title = {}, QWidget* disclosedView = nullptr,
                                            QObject* parent = nullptr);
    // Deletes the view unless a window took it.
    ~DisclosureOptionViewController() override;

    QWidget* view() const { return view_; }
    QToolButton* disclosureButton() const { return button_.data(); }

    QWidget* disclosedView() const { return disclosed_; }
    // Takes the widget into the view, below the button; deletes the one it
    // replaces.
    void setDisclosedView(QWidget* disclosedView);

    QString title() const;
    void setTitle(const QString& title);

    bool isDisclosed() const { return isDisclosed_; }
    void setDisclosed(bool disclosed);

signals:
    void disclosedChanged(bool disclosed);

private:
    QPointer<QWidget> view_;
    QPointer<QToolButton> button_;
    QPointer<QWidget> disclosed_;
    bool isDisclosed_ = false;
};
