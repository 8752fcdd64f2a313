#include "base/text.h"
#include "library_fixture.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::LibraryFixture;
using testing::readTextFile;
using testing::writeTextFile;

using LibraryProjectsTest = LibraryFixture;

TEST_F(LibraryProjectsTest, ProjectOperationsPersistInProjectsFile) {
    auto& library = open();
    const auto unnamed = library.createProject(" \n ");
    EXPECT_EQ(unnamed.name, "New Project");
    const auto launch = library.createProject("  Launch video ");
    EXPECT_EQ(launch.name, "Launch video");

    library.renameProject(unnamed.id, "Tutorials");
    const auto member = Uuid::random();
    library.addToProject(launch.id, member);
    library.deleteProject(unnamed.id);
    EXPECT_THROW(library.deleteProject(unnamed.id), LibraryError);
    EXPECT_EQ(library.findProject("Launch video").id, launch.id);
    EXPECT_EQ(library.findProject(toLowerAscii(launch.id.string().substr(0, 8))).id, launch.id);
    EXPECT_THROW(library.findProject("Tutorials"), LibraryError);

    // projects.json sits beside the recordings folder and is what a fresh library reads.
    EXPECT_TRUE(fs::exists(location().projectsFile));
    EXPECT_EQ(location().projectsFile.parent_path(), location().recordingsRoot.parent_path());
    auto& reopened = open();
    ASSERT_EQ(reopened.projects().size(), 1u);
    EXPECT_EQ(reopened.projects()[0], library_->projects()[0]);
    EXPECT_EQ(reopened.projects()[0].recordingIDs, std::vector<Uuid>{member});
}

TEST_F(LibraryProjectsTest, UnreadableProjectsFileIsKeptBeforeItIsReplaced) {
    writeTextFile(location().projectsFile, "[{\"id\": broken");
    auto& library = open();
    EXPECT_TRUE(library.projects().empty());
    EXPECT_EQ(readTextFile(location().projectsFile), "[{\"id\": broken");  // opening changes nothing

    library.createProject("Fresh");
    auto backup = location().projectsFile;
    backup += ".corrupt";
    EXPECT_EQ(readTextFile(backup), "[{\"id\": broken");
    EXPECT_EQ(open().projects().size(), 1u);
}

}  // namespace
}  // namespace orvane
