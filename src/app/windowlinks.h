#pragma once

#include <QString>

class QWidget;

// What the program asks of every window: its load and unload handlers and the widget that
// stands for it. The windows never call each other: they meet in the program's models (the
// settings, the folder, the slide show, the current file) and follow their signals.
class ProgramWindow
{
public:
    virtual ~ProgramWindow() = default;
    virtual void Form_Load() = 0;
    virtual void Form_Unload() = 0;
    virtual QWidget *widget() = 0;
};
