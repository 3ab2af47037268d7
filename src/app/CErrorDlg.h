#pragma once

#include "core/ErrorReport.h"
#include "platform/SettingsPaths.h"

#include <QDialog>
#include <QFont>
#include <QString>

#include <string>

class QLabel;
class QPushButton;

namespace orblane {

// The one error dialog: a code, a message and an action, with an OK button whose caption and font come from
// "OrblInf.ini". Laid out from its template in dialog units of its own font. OK, Escape and closing all end it alike.
class CErrorDlg : public QDialog
{
    Q_OBJECT

public:
    // Template values, in dialog units.
    static constexpr int kWidthUnits = 371;
    static constexpr int kHeightUnits = 107;

    // infoSettingsPath: the "OrblInf.ini" that the OK button's font is read from.
    explicit CErrorDlg(QWidget* parent = nullptr, std::string infoSettingsPath = GetInfoSettingsPath());

    // Filled before the dialog runs; moved into the controls when it initialises.
    QString okCaption;
    QString code;
    QString message;
    QString action;

    // Moves the texts into the controls and builds the OK button's font; runs once, when the dialog is first shown.
    void OnInitDialog();

    QPushButton* OkButton() const noexcept { return okButton; }
    QLabel* CodeLabel() const noexcept { return codeLabel; }
    QLabel* MessageLabel() const noexcept { return messageLabel; }
    QLabel* ActionLabel() const noexcept { return actionLabel; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* okButton;
    QLabel* codeLabel;
    QLabel* messageLabel;
    QLabel* actionLabel;
    std::string infoPath;
    QFont buttonFont;
    bool initialised = false;
};

// Shows the error dialog modally for RaiseError. With ORBLANE_AUTOCLOSE_DIALOGS=1 in the environment each dialog is
// built and shown but closes at once, so that scripted runs never wait for a click.
void PresentErrorDialog(const ErrorDialogTexts& texts);

} // namespace orblane
