#pragma once

#include <QDialog>

// The About box: program name, slogan, version and date with an OK button.
class CAboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDialog(QWidget* parent = nullptr);
    ~CAboutDialog() override;
};

// True while an About box exists; the tray menu greys its About item meanwhile.
bool AboutDialogOpen();
