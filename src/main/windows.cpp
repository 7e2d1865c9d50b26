#include "windows.h"

#include "browser/mainwindow.h"
#include "help/aboutbox.h"
#include "setup/setupdialog.h"
#include "slideshow/slideshowwindow.h"

Program::WindowFactories viewerWindows()
{
    return {
        [](Program &program) { return std::make_unique<MainWindow>(program); },
        [](Program &program) { return std::make_unique<SlideShowWindow>(program); },
        [](Program &program) { return std::make_unique<SetupDialog>(program); },
        [](Program &program) { return std::make_unique<AboutBox>(program); },
    };
}
