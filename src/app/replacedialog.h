#pragma once

#include <QDialog>

class QRadioButton;

// Asks whether newly fetched proxies replace the current ones or are added
// to them, offering the earlier choice.
class CReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit CReplaceDialog(bool replace, QWidget* parent = nullptr);

    // The choice: true to replace, false to append.
    bool Replace() const;

private:
    QRadioButton* replaceButton_;
    QRadioButton* appendButton_;
};
