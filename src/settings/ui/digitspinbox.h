#pragma once

#include <QAbstractSpinBox>

// A digits-only edit with up/down arrows. The arrows step within
// [minimum, maximum], but any digits may be typed, so a value outside the
// range reaches the dialog's validation instead of being clamped silently.
class CDigitSpinBox : public QAbstractSpinBox {
    Q_OBJECT

public:
    CDigitSpinBox(int minimum, int maximum, QWidget* parent = nullptr);

    void SetText(const QString& text);
    // The typed number; false when the text is empty or does not fit an int.
    bool Value(int& value) const;

    void stepBy(int steps) override;

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    StepEnabled stepEnabled() const override;

private:
    int minimum_;
    int maximum_;
};
