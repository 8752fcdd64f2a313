#pragma once

#include <memory>

namespace orvane {
class Executor;
namespace app {
class Services;
}
}  // namespace orvane

namespace orvane::studio {

// The menu's "Install Orvane CLI..." and "Remove Orvane CLI..." commands. Installing may show the
// desktop's authentication dialog (pkexec) and wait for the user, so the link is read and changed on
// the background queue; each change ends in a toast with the installer's own words. Menus are built
// as they open, so they show the state last read.
class CommandLineLink {
public:
    CommandLineLink(app::Services& services, Executor& background);
    ~CommandLineLink();
    CommandLineLink(const CommandLineLink&) = delete;
    CommandLineLink& operator=(const CommandLineLink&) = delete;

    // As last read; false until the first reading arrives.
    bool installed() const { return installed_; }
    void refresh();
    void install();
    void remove();

private:
    void change(bool install);

    app::Services& services_;
    Executor& background_;
    bool installed_ = false;
    bool busy_ = false;
    // Work finishing after this object is gone must not touch it.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace orvane::studio
