// Flips every field of the edit, and every field of one item of each list, one at a time, and checks
// that the project sidecar keeps the change and that the render-cache keys change exactly when the
// field changes frames (both keys) or the exported file (the export key). A field added to the edit
// without a place in the sidecar or the keys fails here, not in a user's stale export.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "export/cache/cache_payload.h"
#include "model/edit_json.h"
#include "model/project_sidecar.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::TempDir;
using testing::writeTextFile;

// The files flipped paths point at: a reference to a missing file is not read back.
struct Files {
    TempDir folder;
    Files() {
        for (const char* name : {"screen.mp4", "a.png", "b.png", "a.m4a", "b.m4a", "a.json", "b.json"}) {
            writeTextFile(folder / name, name);
        }
    }
};

constexpr auto allCases(std::type_identity<BackgroundStyle>) { return kAllBackgroundStyles; }
constexpr auto allCases(std::type_identity<ExportAspectRatio>) { return kAllExportAspectRatios; }
constexpr auto allCases(std::type_identity<WindowChromeStyle>) { return kAllWindowChromeStyles; }
constexpr auto allCases(std::type_identity<CursorVisualStyle>) { return kAllCursorVisualStyles; }
constexpr auto allCases(std::type_identity<CursorClickAnimationStyle>) { return kAllCursorClickAnimationStyles; }
constexpr auto allCases(std::type_identity<AnnotationColor>) { return kAllAnnotationColors; }
constexpr auto allCases(std::type_identity<CursorInteraction::Kind>) { return kAllCursorInteractionKinds; }
constexpr auto allCases(std::type_identity<VideoOverlayClip::MediaKind>) { return kAllMediaKinds; }
constexpr auto allCases(std::type_identity<AudioEnhancerPreset>) { return kAllAudioEnhancerPresets; }

// A valid item of each list, so that flipping one of its fields leaves it readable.
template <typename T>
T sampleItem(const std::filesystem::path& folder) {
    if constexpr (std::is_same_v<T, Clip>) {
        return Clip{Uuid::random(), "screen.mp4", 0, 5, 0};
    } else if constexpr (std::is_same_v<T, ZoomRegion>) {
        return ZoomRegion{.start = 1, .end = 2, .scale = 2};
    } else if constexpr (std::is_same_v<T, SpeedRamp>) {
        return SpeedRamp{Uuid::random(), 1, 3, 2};
    } else if constexpr (std::is_same_v<T, CutRegion> || std::is_same_v<T, MuteRegion>) {
        T region;
        region.start = 1;
        region.end = 2;
        return region;
    } else if constexpr (std::is_same_v<T, AudioClip> || std::is_same_v<T, VideoOverlayClip>) {
        T clip;
        clip.startTime = 1;
        clip.duration = 2;
        clip.path = folder / "a.m4a";
        clip.label = "Voice";
        return clip;
    } else if constexpr (std::is_same_v<T, CaptionSegment>) {
        CaptionSegment segment;
        segment.start = 1;
        segment.end = 2;
        segment.text = "Hello";
        return segment;
    } else if constexpr (std::is_same_v<T, CursorStyleOverride>) {
        return makeCursorStyleOverride(1, 2, CursorVisualStyle::icon, "sparkle");
    } else if constexpr (std::is_same_v<T, CursorInteraction>) {
        return CursorInteraction{.kind = CursorInteraction::Kind::swipe, .startTime = 1, .endTime = 2};
    } else {
        return T{};
    }
}

// A different value of the same type that every reader accepts.
template <typename T>
T flipped(const T& value, std::string_view key, const std::filesystem::path& folder) {
    if constexpr (std::is_same_v<T, bool>) {
        return !value;
    } else if constexpr (std::is_floating_point_v<T>) {
        return value + T(0.25);
    } else if constexpr (std::is_integral_v<T>) {
        return value + 1;
    } else if constexpr (std::is_same_v<T, std::string>) {
        if (key == "cursorIconSymbol" || key == "iconSymbol") return value == "scope" ? "sparkle" : "scope";
        if (key == "ringStyleName") return "blue";
        return value + "x";
    } else if constexpr (std::is_enum_v<T>) {
        const auto cases = allCases(std::type_identity<T>{});
        const auto at = std::find(cases.begin(), cases.end(), value) - cases.begin();
        return cases[(at + 1) % cases.size()];
    } else if constexpr (std::is_same_v<T, std::filesystem::path>) {
        return folder / (value.filename() == "a.m4a" ? "b.m4a" : "a.m4a");
    } else if constexpr (std::is_same_v<T, std::optional<std::filesystem::path>>) {
        return folder / (value && value->filename() == "a.png" ? "b.png" : "a.png");
    } else if constexpr (edit_json::IsOptional<T>::value) {
        if (!value) return sampleItem<typename T::value_type>(folder);
        return flipped(*value, key, folder);
    } else if constexpr (edit_json::IsVector<T>::value) {
        T list = value;
        list.push_back(sampleItem<typename T::value_type>(folder));
        return list;
    } else if constexpr (std::is_same_v<T, Uuid>) {
        return Uuid::random();
    } else if constexpr (std::is_same_v<T, Rect>) {
        return Rect{value.x + 0.05, value.y + 0.05, value.width / 2 + 0.1, value.height / 2 + 0.1};
    } else if constexpr (std::is_same_v<T, Size>) {
        return Size{value.width + 16, value.height + 9};
    } else if constexpr (std::is_same_v<T, CursorRingStyle>) {
        // The file keeps the preset's name.
        return *cursorRingStyleNamed(value == *cursorRingStyleNamed("blue") ? "red" : "blue");
    } else if constexpr (std::is_same_v<T, BorderStyle>) {
        return value == BorderStyle::glowRing() ? BorderStyle::thinWhite() : BorderStyle::glowRing();
    } else {
        static_assert(HasFields<T>, "flipped() does not know this type");
        T copy = value;
        const auto& first = std::get<0>(FieldsOf<T>::list);
        first.of(copy) = flipped(first.of(copy), first.traits.key, folder);
        return copy;
    }
}

struct Keys {
    std::string segment;
    std::string exportFile;
};

Keys keysOf(const SceneRenderSnapshot& snapshot) {
    return {payloadKey(snapshotPayload(snapshot, PayloadFlavour::segment)),
            payloadKey(snapshotPayload(snapshot, PayloadFlavour::exportFile))};
}

// What the sidecar gives back for `edit`: encoded, decoded and applied over a default edit.
Edit throughSidecar(const Edit& edit, const std::filesystem::path& folder) {
    const auto text = encodeProjectSidecar(makeProjectSidecar(edit, folder / "screen.mp4", std::nullopt));
    std::string error;
    const auto sidecar = decodeProjectSidecar(text, folder, &error);
    EXPECT_TRUE(sidecar) << error;
    Edit back;
    if (sidecar) applyProjectSidecar(*sidecar, back);
    return back;
}

template <typename T>
std::string stored(const T& value, const std::filesystem::path& folder) {
    if constexpr (edit_json::IsOptional<T>::value) {
        if (!value) return "absent";
    }
    return edit_json::Json(edit_json::sidecarValue(value, edit_json::FileContext{folder})).dump();
}

// Checks one change of `field`: saved ones come back from the sidecar, keys change as `output` says.
template <typename F, typename GroupOf>
void checkChange(const F& field, const Output output, const Saved saved, const std::string& name,
                 const SceneRenderSnapshot& base, const SceneRenderSnapshot& changed, GroupOf groupOf,
                 const std::filesystem::path& folder) {
    SCOPED_TRACE(name);
    const Keys before = keysOf(base);
    const Keys after = keysOf(changed);
    EXPECT_EQ(before.segment != after.segment, output == Output::frames) << "segment key";
    EXPECT_EQ(before.exportFile != after.exportFile, output != Output::none) << "export key";
    if (saved != Saved::never) {
        const Edit back = throughSidecar(changed.edit, folder);
        EXPECT_EQ(stored(field.of(groupOf(back)), folder), stored(field.of(groupOf(changed.edit)), folder))
            << "sidecar";
        EXPECT_NE(stored(field.of(groupOf(back)), folder), stored(field.of(groupOf(base.edit)), folder))
            << "the flip did not reach the file";
    }
}

TEST(EveryEditField, SidecarKeepsItAndTheCacheKeysFollowWhatItChanges) {
    Files files;
    const auto& folder = files.folder.path();
    SceneRenderSnapshot base;
    base.videoPath = folder / "screen.mp4";
    base.clipBaseDirectory = folder;
    base.edit.timeline.duration = 10;
    base.edit.timeline.trimEnd = 10;

    int fields = 0;
    int itemFields = 0;
    const auto walkGroup = [&](auto groupMember) {
        using Group = typename MemberType<decltype(groupMember)>::type;
        const auto groupOf = [groupMember](const Edit& edit) -> const Group& { return edit.*groupMember; };
        forEachField<Group>([&](const auto& field) {
            ++fields;
            SceneRenderSnapshot changed = base;
            auto& group = changed.edit.*groupMember;
            field.of(group) = flipped(field.of(group), field.traits.key, folder);
            checkChange(field, field.traits.output, field.traits.saved, std::string(field.traits.key), base, changed,
                        groupOf, folder);

            // A list: flip each field of one item in it. The item is rendered as a whole, so it changes
            // what the list changes, except its id; it is stored when the item's record holds it.
            using Value = std::remove_cvref_t<decltype(field.of(group))>;
            if constexpr (edit_json::IsVector<Value>::value) {
                using Item = typename Value::value_type;
                SceneRenderSnapshot withItem = base;
                field.of(withItem.edit.*groupMember) = {sampleItem<Item>(folder)};
                forEachField<Item>([&](const auto& itemField) {
                    ++itemFields;
                    SceneRenderSnapshot itemChanged = withItem;
                    auto& item = field.of(itemChanged.edit.*groupMember).front();
                    itemField.of(item) = flipped(itemField.of(item), itemField.traits.key, folder);
                    const bool isID = itemField.traits.key == "id";
                    const Saved saved =
                        field.traits.saved == Saved::never || isID ? Saved::never : itemField.traits.saved;
                    checkChange(field, isID ? Output::none : field.traits.output, saved,
                                std::string(field.traits.key) + "." + std::string(itemField.traits.key), withItem,
                                itemChanged, groupOf, folder);
                });
            }
        });
    };
    std::apply([&](auto... groups) { (walkGroup(groups), ...); }, kEditGroups);
    EXPECT_GT(fields, 40);
    EXPECT_GT(itemFields, 60);
}

}  // namespace
}  // namespace orvane
