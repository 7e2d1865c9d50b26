#pragma once

#include <QWidget>

class Program;
class QLabel;
class QLineEdit;
class QPushButton;

// The About box: title, version and the maker's particulars, above every other window.
class AboutBox : public QWidget
{
    Q_OBJECT
public:
    static constexpr float kDesignWidth = 6930.0f; // inner area, twips
    static constexpr float kDesignHeight = 5340.0f;

    explicit AboutBox(Program &program);
    ~AboutBox() override;

    void Form_Load();
    void Form_Unload() {}
    void Cmd_OK_Click();

    QLabel *Pic_ApplicationIcon = nullptr;
    QLabel *Lbl_IconWorks = nullptr;
    QLabel *Lbl_Version = nullptr;
    QLabel *Lbl_Dozodoziv = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Lbl_Info = nullptr;
    QLabel *Lbl_InfoValues = nullptr;
    QLineEdit *Text1 = nullptr;
    QPushButton *Cmd_OK = nullptr;

    // The maker's texts, invented for this program.
    static const QString makerName;
    static const QString creditLine;
    static const QString postalAddress;
    static const QString supportLine;
    static const QString webNote;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void place(QWidget *control, float left, float top, float width, float height);

    Program &m_program;
    float m_tpp;
};
