#pragma once

#include "app/program.h"
#include "fakeservices.h"
#include "main/windows.h"
#include "testfolder.h"
#include "windowaccess.h"

#include <memory>

// A program started in a temporary program folder with scripted services.
struct ProgramFixture
{
    TestFolder folder;
    FakeServices services;
    std::unique_ptr<Program> program;

    QString iniPath() const { return folder.filePath("QUERNDAL.INI"); }
    QByteArray ini() const { return folder.read("QUERNDAL.INI"); }
    void writeIni(const QByteArray &text) { folder.write("QUERNDAL.INI", text); }
    // The record the defaults write for this program folder.
    QByteArray defaultRecord() const { return "3,3,1,\"" + folder.path().toUtf8() + "\",0\r\n"; }
    void start()
    {
        program = std::make_unique<Program>(services, folder.path(), viewerWindows());
        program->start();
    }
};
