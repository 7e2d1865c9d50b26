#pragma once

#include "app/windowlinks.h"

#include <QWidget>

class Program;
class CaptionBox;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

// The Setup dialog (`Form4`): slide interval, loop mode, hide-file-name switch and background
// colour, edited directly on the settings in memory.
class SetupDialog : public QWidget, public ProgramWindow
{
    Q_OBJECT
public:
    static constexpr float kDesignWidth = 3495.0f; // inner area, twips
    static constexpr float kDesignHeight = 4350.0f;

    explicit SetupDialog(Program &program);
    ~SetupDialog() override;

    void Form_Load() override;
    void Form_Unload() override;
    void Text1_LostFocus();
    void text2_Click();
    void Option1_Click();
    void Option2_Click();
    void Check1_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

    QWidget *widget() override { return this; }
    int swatchColor() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showMainWindow();
    void setSwatchColor(int paletteIndex);
    // The interval field shows the interval in force when another number stands there.
    void followSettings();

    Program &m_program;
    float m_tpp;
    CaptionBox *m_intervalField = nullptr;
    QRadioButton *m_singleOption = nullptr;
    QRadioButton *m_continuousOption = nullptr;
    QCheckBox *m_hideFileNameBox = nullptr;
    CaptionBox *m_swatch = nullptr;
};
