#pragma once

#include <QObject>

#include <memory>
#include <stop_token>
#include <string>

class QMessageBox;
class QProgressDialog;

namespace orvane {
struct AppRelease;
struct UpdateCheckResult;
struct UpdateNotice;
class UrlOpener;
}  // namespace orvane

namespace orvane::studio {

class StudioShell;

// Updates as the studio offers them: a released copy asks the product web site at launch and stays
// silent unless a newer release has not been offered yet; "Check for Updates..." always answers.
// Installing downloads and verifies the signed archive on the background queue with a progress
// dialog, then hands over to the launcher script, which swaps the new copy in once the studio has
// quit and starts it. Nothing installed changes before the launcher runs.
class StudioUpdates : public QObject {
    Q_OBJECT
public:
    explicit StudioUpdates(StudioShell& shell);
    ~StudioUpdates() override;

    // Whether this program runs from a release tree (an unpacked archive or the installed copy).
    // Builds from source have no release to compare with, so they neither ask nor gate.
    static bool runsFromRelease();

    void checkAtLaunch();
    void check(bool userInitiated);

    // The alert or progress dialog on screen, if any (tests answer them).
    QMessageBox* notice() const { return notice_; }
    QProgressDialog* progress() const { return progress_; }

Q_SIGNALS:
    // The launcher is running and waits for this process; the shell closes its windows and quits.
    void relaunchRequested();

private:
    void answered(const UpdateCheckResult& result);
    void install(const AppRelease& release);
    void installFailed(const std::string& reason);
    QMessageBox* present(const UpdateNotice& notice);

    StudioShell& shell_;
    std::unique_ptr<UrlOpener> opener_;
    std::stop_source stop_;
    bool busy_ = false;
    QMessageBox* notice_ = nullptr;
    QProgressDialog* progress_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// At start, a release copy that is not the installed one explains why it should not run on and
// offers to open or install the installed copy. Answers whether the studio may go on starting.
bool passInstalledLocationGate();

}  // namespace orvane::studio
