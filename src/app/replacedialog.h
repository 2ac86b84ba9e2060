#pragma once

#include <QDialog>

class QRadioButton;

// Asks whether newly fetched proxies replace the current ones or are added
// to them. The choice is the replaceByGet setting, saved at once on OK.
class CReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit CReplaceDialog(QWidget* parent = nullptr);

    void accept() override;

private:
    QRadioButton* replaceButton_;
    QRadioButton* appendButton_;
};
