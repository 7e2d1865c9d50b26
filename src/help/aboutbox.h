#pragma once

#include "app/windowlinks.h"

#include <QWidget>

class Program;
class QLabel;
class QPlainTextEdit;
class QWindow;

// The About box: title, version and the maker's particulars, above every other window.
class AboutBox : public QWidget, public ProgramWindow
{
    Q_OBJECT
public:
    static constexpr float kDesignWidth = 6930.0f; // inner area, twips
    static constexpr float kDesignHeight = 5340.0f;

    explicit AboutBox(Program &program);
    ~AboutBox() override;

    void Form_Load() override;
    void Form_Unload() override { }
    void Cmd_OK_Click();
    QWidget *widget() override { return this; }

    // The maker's texts, invented for this program.
    static const QString makerName;
    static const QString creditLine;
    static const QString postalAddress;
    static const QString supportLine;
    static const QString webNote;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Keeps the box above the program's full-screen window while that has the focus.
    void followFocus(QWindow *focused);

    Program &m_program;
    float m_tpp;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_versionLabel = nullptr;
    QLabel *m_addressLabel = nullptr;
    QLabel *m_supportLabel = nullptr;
    QPlainTextEdit *m_webNote = nullptr;
};
