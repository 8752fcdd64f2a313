#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <exception>
#include <memory>

#include "app/services.h"
#include "base/log.h"
#include "studio/screenshots.h"
#include "studio/studio_shell.h"
#include "studio/theme.h"

int main(int argc, char** argv) {
    using namespace orvane;
    QApplication application(argc, argv);
    QApplication::setApplicationName("Orvane");
    QApplication::setDesktopFileName("orvane-studio");

    QCommandLineParser parser;
    parser.setApplicationDescription("Orvane: record, edit and export screen recordings");
    parser.addHelpOption();
    QCommandLineOption verbose({"v", "verbose"}, "Also print log lines to stderr");
    parser.addOption(verbose);
    QCommandLineOption openOption("open", "Open a recording in the editor (its id or a unique prefix)", "ID");
    parser.addOption(openOption);
    // For the documentation's pictures (tools/studio-screenshots.sh), not for users.
    QCommandLineOption screenshot("screenshot", "Save a picture of a window and quit", "NAME=FILE");
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(screenshot);
    parser.process(application);
    log::setEchoToStderr(parser.isSet(verbose));

    std::vector<studio::ScreenshotRun::Shot> shots;
    try {
        shots = studio::ScreenshotRun::parse(parser.values(screenshot));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvane-studio: %s\n", e.what());
        return 2;
    }

    studio::applyTheme(application, studio::systemAppearance());
    try {
        app::Services services;
        studio::StudioShell shell(services);
        shell.start();
        if (parser.isSet(openOption)) shell.openRecording(parser.value(openOption).toStdString());
        std::unique_ptr<studio::ScreenshotRun> pictures;
        if (!shots.empty()) pictures = std::make_unique<studio::ScreenshotRun>(shell, std::move(shots));
        return QApplication::exec();
    } catch (const std::exception& e) {
        // Start-up failed before the window could say so (an unusable data folder, no display).
        QMessageBox::critical(nullptr, "Orvane could not start", QString::fromStdString(e.what()));
        return 1;
    }
}
