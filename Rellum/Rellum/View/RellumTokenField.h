#pragma once

#include "Rellum/RellumEscapeToken.h"

#include <QColor>
#include <QTextEdit>

#include <string>
#include <string_view>
#include <vector>

// How a token field shows one element of its value.
enum class RellumTokenStyle {
    PlainText, // as ordinary text
    Squared,   // as a token on a squared background
};

// The colours a squared token is drawn in.
QColor RellumTokenBackgroundColor();
QColor RellumTokenTextColor();

// What a token field asks about the elements it shows and the commands its
// keys stand for.
class RellumTokenFieldDelegate {
public:
    virtual ~RellumTokenFieldDelegate() = default;
    virtual RellumTokenStyle styleForRepresentedObject(const RellumEscapeToken::Element& element) const = 0;
    virtual std::string
    displayStringForRepresentedObject(const RellumEscapeToken::Element& element) const = 0;
    // A command of the field's key bindings ("insertNewline:" for Return);
    // true when the delegate handled it.
    virtual bool doCommandBySelector(QWidget* control, std::string_view selector) = 0;
};

// A one-line text field whose value is a list of literal text runs and escape
// tokens. Tokens are shown as their typed form on a squared background; typing
// never makes tokens (that happens when a value is set).
class RellumTokenField : public QTextEdit {
    Q_OBJECT

public:
    explicit RellumTokenField(QWidget* parent = nullptr);

    void setTokenDelegate(RellumTokenFieldDelegate* delegate) { delegate_ = delegate; }

    // The value as shown: literal runs and the tokens still shown as tokens. A
    // token whose text was edited becomes literal text.
    std::vector<RellumEscapeToken::Element> objectValue() const;
    void setObjectValue(const std::vector<RellumEscapeToken::Element>& value);

    // The shown text, tokens as typed.
    std::string stringValue() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void typeWithoutTokenFormat();
    RellumTokenFieldDelegate* delegate_ = nullptr;
};
