// Builds a step the way its author does: vexlan-step build on a source file.
#pragma once

#include "stepprocess.h"

#include <QProcess>
#include <QString>

#include <filesystem>
#include <fstream>
#include <string>

// Saves source as folder/name.cpp and builds it into the user's step folder; the exit status,
// with what vexlan-step printed in output.
inline int BuildStepFile(const std::string& folder, const std::string& name,
                         const std::string& source, std::string& output) {
    const std::string file = folder + "/" + name + ".cpp";
    std::ofstream(file) << source;
    QProcess build;
    build.setProcessChannelMode(QProcess::MergedChannels);
    build.start(
        QString::fromStdString(
            (std::filesystem::path(StepHostProgram()).parent_path() / "vexlan-step").string()),
        {"build", QString::fromStdString(file)});
    build.waitForFinished(120000);
    output = build.readAll().toStdString();
    return build.exitStatus() == QProcess::NormalExit ? build.exitCode() : -1;
}
