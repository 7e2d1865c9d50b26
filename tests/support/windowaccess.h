#pragma once

#include "app/program.h"
#include "browser/mainwindow.h"
#include "help/aboutbox.h"
#include "platform/controls.h"
#include "setup/setupdialog.h"
#include "slideshow/slideshowwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

// The windows and their controls as a test reaches them: windows through the program (touching
// one loads it, as in the program), controls by the names the design gives them.

inline MainWindow *startForm(Program &program)
{
    return static_cast<MainWindow *>(program.mainWindow());
}

inline SlideShowWindow *form2(Program &program)
{
    return static_cast<SlideShowWindow *>(program.slideShow());
}

inline SetupDialog *form4(Program &program)
{
    return static_cast<SetupDialog *>(program.setupDialog());
}

inline AboutBox *aboutBox(Program &program)
{
    return static_cast<AboutBox *>(program.aboutBox());
}

// The control `name` of `window`; a missing one fails loudly rather than crashing the test.
template<class Control> Control *control(const QObject *window, const QString &name)
{
    auto *found = window->findChild<Control *>(name);
    if (!found) {
        qFatal("no control %s", qPrintable(name));
    }
    return found;
}

inline QAction *menuItem(const QObject *window, const char *name)
{
    return control<QAction>(window, QLatin1String(name));
}

#define VIEWER_CONTROL(Type, Name)                                                                 \
    inline Type *Name(const QObject *window)                                                       \
    {                                                                                              \
        return control<Type>(window, QStringLiteral(#Name));                                       \
    }

VIEWER_CONTROL(DriveList, Drive1)
VIEWER_CONTROL(DirList, Dir1)
VIEWER_CONTROL(FileList, File1)
VIEWER_CONTROL(QLabel, Label1)
VIEWER_CONTROL(PictureBox, Picture1)
VIEWER_CONTROL(PictureBox, Picture2)
VIEWER_CONTROL(ImageBox, Image1)
VIEWER_CONTROL(ClickLabel, Label3)
VIEWER_CONTROL(CaptionBox, Text1)
VIEWER_CONTROL(CaptionBox, Text2)
VIEWER_CONTROL(QRadioButton, Option1)
VIEWER_CONTROL(QRadioButton, Option2)
VIEWER_CONTROL(QCheckBox, Check1)
VIEWER_CONTROL(QPushButton, Command1)
VIEWER_CONTROL(QPushButton, Command2)
VIEWER_CONTROL(QPushButton, Command3)

#undef VIEWER_CONTROL

// The slide show's timer: the program's show keeps it, whether its window is up or not.
inline QTimer *Timer1(Program &program)
{
    return program.show().timer();
}

inline ImageBox *open(const QObject *window, int slot)
{
    return control<ImageBox>(window, QStringLiteral("open%1").arg(slot));
}

inline CaptionBox *filename(const QObject *window, int slot)
{
    return control<CaptionBox>(window, QStringLiteral("filename%1").arg(slot));
}

// Slot `slot` holds `file`, as if it had been selected into it (no picture).
inline void putInSlot(Program &program, int slot, const QString &file)
{
    program.slotRing().setFile(slot, file);
    filename(startForm(program), slot)->setText(file);
}
