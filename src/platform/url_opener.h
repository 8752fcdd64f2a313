#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace orvane {

// Hands a web address or a folder to the user's desktop. Both throw std::runtime_error when the
// desktop cannot be asked; they return once the request is handed over.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open(const std::string& url) = 0;
    // Shows the folder that holds `file` in the file manager.
    virtual void revealFile(const std::filesystem::path& file) = 0;
};

// Asks through xdg-open, which picks the user's browser and file manager.
std::unique_ptr<UrlOpener> makeXdgUrlOpener();

}  // namespace orvane
