#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "export/cache/asset_hasher.h"
#include "export/cache/cache_test_snapshot.h"
#include "export/cache/sha256.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::readTextFile;
using testing::TempDir;
using testing::writeTextFile;

TEST(AssetHasher, HashesInChunksAndRemembersTheFileBesideIt) {
    TempDir dir;
    writeTextFile(dir / "abc.bin", "abc");
    AssetHasher hasher;
    EXPECT_EQ(hasher.sha256(dir / "abc.bin"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    // Larger than two chunks, with a tail, so chunk boundaries must join up exactly.
    std::string big(2 * AssetHasher::kChunkSize + 12345, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 31 + i / 7) & 0xff);
    writeTextFile(dir / "big.bin", big);
    const std::string digest = hasher.sha256(dir / "big.bin");
    EXPECT_EQ(digest, sha256Hex(big));

    const auto memo = nlohmann::json::parse(readTextFile(dir / "big.bin.sha256"));
    const auto attributes = fileAttributes(dir / "big.bin");
    ASSERT_TRUE(attributes);
    EXPECT_EQ(memo.at("sha256"), digest);
    EXPECT_EQ(memo.at("size").get<std::uintmax_t>(), big.size());
    EXPECT_EQ(memo.at("mtime").get<double>(), attributes->modifiedAt);
}

TEST(AssetHasher, TrustsAMemoOnlyWhileTimeAndSizeMatchAndNeverNeedsOne) {
    TempDir dir;
    const auto file = dir / "screen.mp4";
    writeTextFile(file, "frames");
    const std::string real = sha256Hex("frames");
    const auto attributes = fileAttributes(file);
    ASSERT_TRUE(attributes);

    // A matching memo is believed without reading the file: that is its whole point.
    const std::string planted(64, 'a');
    writeTextFile(
        AssetHasher::memoPath(file),
        nlohmann::json{{"sha256", planted}, {"mtime", attributes->modifiedAt}, {"size", attributes->size}}.dump());
    AssetHasher hasher;
    EXPECT_EQ(hasher.sha256(file), planted);

    // Touching the file outdates the memo; the same bytes give the same digest and a fresh memo.
    testing::touchLater(file, 60);
    EXPECT_EQ(hasher.sha256(file), real);
    const auto memo = nlohmann::json::parse(readTextFile(AssetHasher::memoPath(file)));
    EXPECT_EQ(memo.at("mtime").get<double>(), fileAttributes(file)->modifiedAt);
    EXPECT_EQ(memo.at("sha256"), real);

    // Memos that are damaged in any way are ignored, never trusted or fatal.
    for (const std::string& damaged :
         {std::string("{not json"), std::string("[]"),
          nlohmann::json{{"sha256", "XYZ"}, {"mtime", fileAttributes(file)->modifiedAt}, {"size", 6}}.dump(),
          nlohmann::json{{"sha256", planted}, {"mtime", "yesterday"}, {"size", 6}}.dump()}) {
        writeTextFile(AssetHasher::memoPath(file), damaged);
        EXPECT_EQ(hasher.sha256(file), real) << damaged;
    }

    // A memo that cannot be written does not fail the hash: a folder squatting on its name cannot be
    // replaced by a file, even by root.
    const auto clip = dir / "clip.mp4";
    writeTextFile(clip, "clip");
    std::filesystem::create_directories(AssetHasher::memoPath(clip) / "inside");
    EXPECT_EQ(AssetHasher().sha256(clip), sha256Hex("clip"));
    EXPECT_TRUE(std::filesystem::is_directory(AssetHasher::memoPath(clip)));

    EXPECT_THROW(AssetHasher().sha256(dir / "missing.mp4"), std::system_error);
}

}  // namespace
}  // namespace orvane
