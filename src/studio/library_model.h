#pragma once

#include <QAbstractListModel>
#include <QPixmap>
#include <QString>

#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "base/signal.h"
#include "base/uuid.h"
#include "model/recording_meta.h"

namespace orvane {
class RecordingLibrary;
class RecordingThumbnailCache;
}  // namespace orvane

namespace orvane::studio {

// The library's recordings as the grid shows them, newest first, narrowed by the search text and the
// chosen project. Thumbnails come from the thumbnail cache, which makes them off the UI thread; a
// card shows a plain tile until its image arrives.
class LibraryModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, TitleRole, DurationRole, DateRole };

    LibraryModel(RecordingLibrary& library, RecordingThumbnailCache& thumbnails, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void setSearchText(const QString& text);
    // Nothing: every recording.
    void setProject(std::optional<Uuid> project);
    const RecordingMeta* recordingAt(int row) const;
    int rowOf(const Uuid& id) const;

private:
    void rebuild();
    void thumbnailReady(const std::filesystem::path& video);

    RecordingLibrary& library_;
    RecordingThumbnailCache& thumbnails_;
    QString search_;
    std::optional<Uuid> project_;
    std::vector<RecordingMeta> rows_;
    mutable std::map<std::filesystem::path, QPixmap> pixmaps_;
    Subscription recordingsSubscription_;
    Subscription projectsSubscription_;
    Subscription thumbnailSubscription_;
};

// "0:07", "12:30", "1:02:03".
QString durationText(std::int64_t milliseconds);

}  // namespace orvane::studio
