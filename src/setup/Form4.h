#pragma once

#include <QWidget>

class Program;
class CaptionBox;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

// The Setup dialog: slide interval, loop mode, hide-file-name switch and background colour,
// edited directly on the settings in memory.
class Form4 : public QWidget
{
    Q_OBJECT
public:
    static constexpr float kDesignWidth = 3495.0f; // inner area, twips
    static constexpr float kDesignHeight = 4350.0f;

    explicit Form4(Program &program);
    ~Form4() override;

    void Form_Load();
    void Form_Unload();
    void Text1_LostFocus();
    void text2_Click();
    void Option1_Click();
    void Option2_Click();
    void Check1_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

    // Paints the swatch with a palette colour.
    void setSwatchColor(int paletteIndex);
    int swatchColor() const;

    QLabel *Label1 = nullptr;
    CaptionBox *Text1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QCheckBox *Check1 = nullptr;
    QLabel *Label2 = nullptr;
    CaptionBox *Text2 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void place(QWidget *control, float left, float top, float width, float height);
    void showMainWindow();

    Program &m_program;
    float m_tpp;
};
