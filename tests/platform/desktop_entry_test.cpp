#include "platform/linux/desktop_entry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

TEST(DesktopEntry, ExecArgumentsAreQuotedAndEscapedOnlyWhenNeeded) {
    EXPECT_EQ(desktopExecArgument("/usr/bin/orvane-studio"), "/usr/bin/orvane-studio");
    EXPECT_EQ(desktopExecArgument("%u"), "%u");
    EXPECT_EQ(desktopExecArgument("/opt/My Apps/studio"), "\"/opt/My Apps/studio\"");
    EXPECT_EQ(desktopExecArgument("/opt/a\"b$c`d\\e"), "\"/opt/a\\\"b\\$c\\`d\\\\e\"");
    EXPECT_EQ(desktopExecArgument("/opt/100%/x"), "/opt/100%%/x");
    EXPECT_EQ(desktopExecArgument(""), "\"\"");

    DesktopEntry entry;
    entry.executable = "/opt/a\\b c/studio";
    entry.arguments = {"%u"};
    entry.mimeTypes = {"x-scheme-handler/orvane", "x-scheme-handler/zant"};
    const std::string text = entry.text();
    // Quoted for Exec, then every backslash doubled again as a string value.
    EXPECT_NE(text.find("Exec=\"/opt/a\\\\\\\\b c/studio\" %u\n"), std::string::npos) << text;
    EXPECT_NE(text.find("MimeType=x-scheme-handler/orvane;x-scheme-handler/zant;\n"), std::string::npos);
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
}

TEST(DesktopEntry, InstallRegistersBothSchemesAndRemoveTakesItAway) {
    testing::TempDir dir;
    testing::ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
    testing::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").string());
    const auto path = studioDesktopEntryPath();
    EXPECT_EQ(path, dir / "data" / "applications" / "orvane-studio.desktop");

    installStudioDesktopEntry("/opt/orvane/bin/orvane-studio", {"orvane", "zant"});
    const std::string text = testing::readTextFile(path);
    EXPECT_NE(text.find("Exec=/opt/orvane/bin/orvane-studio %u\n"), std::string::npos);
    EXPECT_NE(text.find("MimeType=x-scheme-handler/orvane;x-scheme-handler/zant;\n"), std::string::npos);
    // Where the desktop tools are installed, they must have recorded the handler.
    if (std::system("command -v xdg-mime >/dev/null 2>&1") == 0) {
        const auto associations = testing::readTextFile(dir / "config" / "mimeapps.list");
        EXPECT_NE(associations.find("x-scheme-handler/zant=orvane-studio.desktop"), std::string::npos) << associations;
    }
    if (std::system("command -v update-desktop-database >/dev/null 2>&1") == 0) {
        EXPECT_TRUE(std::filesystem::exists(path.parent_path() / "mimeinfo.cache"));
    }

    // Installing again replaces the entry in place.
    installStudioDesktopEntry("/usr/bin/orvane-studio", {"orvane"});
    EXPECT_EQ(testing::readTextFile(path).find("zant"), std::string::npos);

    removeStudioDesktopEntry();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_NO_THROW(removeStudioDesktopEntry());

    // Without the tools on the path the entry is still written.
    testing::ScopedEnv noTools("PATH", (dir / "empty").string());
    EXPECT_NO_THROW(installStudioDesktopEntry("/usr/bin/orvane-studio", {"orvane"}));
    EXPECT_TRUE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace orvane
