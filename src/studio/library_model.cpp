#include "studio/library_model.h"

#include <QDateTime>
#include <QImage>
#include <QLocale>
#include <QPainter>

#include <algorithm>

#include "recording/recording_library.h"
#include "recording/recording_thumbnail_cache.h"

namespace orvane::studio {

namespace {

constexpr QSize kTileSize(RecordingThumbnailCache::kMaxWidth, RecordingThumbnailCache::kMaxHeight);

QPixmap placeholderTile() {
    QPixmap tile(kTileSize);
    tile.fill(QColor(0x2a, 0x2d, 0x33));
    return tile;
}

// Letterboxes the frame into the card's fixed tile, so the grid lines up whatever the video's shape.
QPixmap tileFrom(const RgbaImage& image) {
    const QImage frame(image.pixels.data(), image.width, image.height, image.stride,
                       QImage::Format_ARGB32_Premultiplied);
    QPixmap tile = placeholderTile();
    QPainter painter(&tile);
    const QSize fitted = frame.size().scaled(kTileSize, Qt::KeepAspectRatio);
    const QRect target(QPoint((kTileSize.width() - fitted.width()) / 2, (kTileSize.height() - fitted.height()) / 2),
                       fitted);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame);
    return tile;
}

}  // namespace

QString durationText(std::int64_t milliseconds) {
    const std::int64_t seconds = std::max<std::int64_t>(milliseconds, 0) / 1000;
    if (seconds >= 3600) {
        return QString("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QChar('0'))
            .arg(seconds % 60, 2, 10, QChar('0'));
    }
    return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

LibraryModel::LibraryModel(RecordingLibrary& library, RecordingThumbnailCache& thumbnails, QObject* parent)
    : QAbstractListModel(parent), library_(library), thumbnails_(thumbnails) {
    recordingsSubscription_ = library_.observeRecordings([this](const auto&) { rebuild(); });
    projectsSubscription_ = library_.observeProjects([this](const auto&) { rebuild(); });
    thumbnailSubscription_ = thumbnails_.observe([this](const std::filesystem::path& video) { thumbnailReady(video); });
    rebuild();
}

int LibraryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
    const RecordingMeta* meta = recordingAt(index.row());
    if (!meta) return {};
    const QString title = QString::fromStdString(displayTitle(*meta));
    const QString date = QLocale().toString(
        QDateTime::fromMSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::milliseconds>(meta->createdAt.time_since_epoch()).count()),
        QLocale::ShortFormat);
    switch (role) {
        case Qt::DisplayRole: return title + "\n" + durationText(meta->durationMs) + "  ·  " + date;
        case Qt::AccessibleTextRole:
        case Qt::ToolTipRole:
        case TitleRole: return title;
        case Qt::AccessibleDescriptionRole: return durationText(meta->durationMs) + ", " + date;
        case IdRole: return QString::fromStdString(meta->id.string());
        case DurationRole: return durationText(meta->durationMs);
        case DateRole: return date;
        case Qt::DecorationRole: {
            const auto video = library_.folderOf(meta->id).screenVideoFile(*meta);
            if (auto found = pixmaps_.find(video); found != pixmaps_.end()) return found->second;
            if (auto image = thumbnails_.thumbnail(video); image && image->width > 0 && image->height > 0) {
                return pixmaps_.emplace(video, tileFrom(*image)).first->second;
            }
            return placeholderTile();
        }
        default: return {};
    }
}

void LibraryModel::setSearchText(const QString& text) {
    search_ = text.trimmed();
    rebuild();
}

void LibraryModel::setProject(std::optional<Uuid> project) {
    project_ = project;
    rebuild();
}

const RecordingMeta* LibraryModel::recordingAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
    return &rows_[static_cast<std::size_t>(row)];
}

int LibraryModel::rowOf(const Uuid& id) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].id == id) return static_cast<int>(i);
    }
    return -1;
}

void LibraryModel::rebuild() {
    const Project* project = nullptr;
    if (project_) {
        for (const auto& candidate : library_.projects()) {
            if (candidate.id == *project_) project = &candidate;
        }
    }
    std::vector<RecordingMeta> rows;
    for (const auto& meta : library_.recordings()) {
        if (project && std::find(project->recordingIDs.begin(), project->recordingIDs.end(), meta.id) ==
                           project->recordingIDs.end()) {
            continue;
        }
        if (!search_.isEmpty() && !QString::fromStdString(displayTitle(meta)).contains(search_, Qt::CaseInsensitive)) {
            continue;
        }
        rows.push_back(meta);
    }
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void LibraryModel::thumbnailReady(const std::filesystem::path& video) {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (library_.folderOf(rows_[i].id).screenVideoFile(rows_[i]) == video) {
            const QModelIndex changed = index(static_cast<int>(i));
            Q_EMIT dataChanged(changed, changed, {Qt::DecorationRole});
        }
    }
}

}  // namespace orvane::studio
