#include "settings/ui/digitspinbox.h"

#include <QLineEdit>

#include <algorithm>

CDigitSpinBox::CDigitSpinBox(int minimum, int maximum, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(maximum)
{}

void CDigitSpinBox::SetText(const QString& text)
{
    lineEdit()->setText(text);
}

bool CDigitSpinBox::Value(int& value) const
{
    bool ok = false;
    value = text().toInt(&ok, 10);
    return ok;
}

void CDigitSpinBox::stepBy(int steps)
{
    int value = 0;
    // A field that holds no number starts again from the bottom of the range.
    const long long next =
        Value(value) ? std::clamp<long long>(static_cast<long long>(value) + steps, minimum_, maximum_) : minimum_;
    SetText(QString::number(next));
    selectAll();
}

QValidator::State CDigitSpinBox::validate(QString& input, int&) const
{
    const bool digitsOnly = std::all_of(input.cbegin(), input.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return digitsOnly ? QValidator::Acceptable : QValidator::Invalid;
}

// Whatever digits were typed stay as they are; validation judges them later.
void CDigitSpinBox::fixup(QString&) const {}

QAbstractSpinBox::StepEnabled CDigitSpinBox::stepEnabled() const
{
    int value = 0;
    if (!Value(value))
        return StepUpEnabled | StepDownEnabled;
    StepEnabled enabled = StepNone;
    if (value < maximum_)
        enabled |= StepUpEnabled;
    if (value > minimum_)
        enabled |= StepDownEnabled;
    return enabled;
}
